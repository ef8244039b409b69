import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "../controls"
import "logic.js" as Logic

// Serial number entry, shown while the device has no id.
Item {
    id: page

    property bool inputValid: false

    function askConfirmation() {
        Qt.inputMethod.hide()
        confirm.open()
    }

    Flickable {
        id: flick
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: keyboard.top
        contentHeight: Math.max(height, column.height + 80)
        contentWidth: width
        flickableDirection: Flickable.VerticalFlick
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Column {
            id: column
            objectName: "serialColumn"
            spacing: 20
            anchors.horizontalCenter: parent.horizontalCenter
            y: Math.max(40, (flick.contentHeight - height) / 2)

            Label {
                width: 350
                height: 60
                text: "Enter Serial Number"
                font.family: Theme.fontFamily
                font.pointSize: Theme.serialPoints
                font.bold: true
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            TextField {
                id: serial
                objectName: "serialField"
                width: 350
                height: 60
                text: manager.deviceId
                placeholderText: "K00000000"
                horizontalAlignment: TextInput.AlignHCenter
                font.family: Theme.fontFamily
                font.pointSize: Theme.serialPoints
                font.letterSpacing: 2
                inputMethodHints: Qt.ImhPreferUppercase | Qt.ImhNoPredictiveText
                onTextChanged: page.inputValid = Logic.isValidSerial(text)
                // An invalid id is never offered for saving, whichever key is used.
                onAccepted: {
                    if (page.inputValid)
                        page.askConfirmation()
                }
                onActiveFocusChanged: {
                    if (!activeFocus)
                        Qt.inputMethod.hide()
                }
            }

            Label {
                id: hint
                objectName: "serialHint"
                width: 350
                height: 60
                // Two balanced lines rather than one full line and a lone last word.
                leftPadding: Math.max(0, (width - Math.ceil(hintMetrics.width / 2) - 40) / 2)
                rightPadding: leftPadding

                TextMetrics {
                    id: hintMetrics
                    font: hint.font
                    text: hint.text
                }
                visible: !page.inputValid
                text: "Must start with 'C' or 'K' followed by 8 digits"
                color: Theme.hintError
                font.family: Theme.fontFamily
                font.pointSize: Theme.fieldPoints
                wrapMode: Text.WordWrap
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            Button {
                objectName: "saveButton"
                width: 300
                height: 60
                anchors.horizontalCenter: parent.horizontalCenter
                enabled: page.inputValid
                highlighted: true
                text: manager.dynTr + qsTr("SAVE")
                font.family: Theme.fontFamily
                font.pointSize: 16
                font.bold: true
                onClicked: page.askConfirmation()
            }
        }
    }

    KeyboardPanel {
        id: keyboard
        owner: "InitPage"
    }

    CustomPopup {
        id: confirm
        objectName: "serialConfirm"
        isDialog: true
        retranslate: manager.dynTr
        text: manager.dynTr + qsTr("Please confirm the serial number") + "\n\n" + serial.text
        onButtonYesPressed: manager.saveDeviceIdRequest(serial.text)
    }
}
