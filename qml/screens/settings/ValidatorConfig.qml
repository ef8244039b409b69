import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "logic.js" as Logic

// The validator's own settings and the two panel settings that go with them.
Item {
    id: page
    objectName: "validatorConfigPage"

    readonly property var config: validatorManager.config
    readonly property var form: ({
        "url": urlField.text,
        "passback": Logic.typedValue(passbackBox, passbackText),
        "delay": Logic.typedValue(delayBox, delayText),
        "qr": qrSwitch.checked,
        "desc": descSwitch.checked
    })
    readonly property var stored: ({
        "url": config.obuUrl,
        "passback": config.passbackSecs,
        "delay": manager.shutdownDelaySec,
        "qr": config.passbackQrEnabled,
        "desc": manager.showErrorDesc
    })
    readonly property bool changed: Logic.formDiffers(form, stored)
    // The number boxes' texts as typed. Followed through their signals: reading a
    // box's text field inside the form's binding would build the field there.
    property string passbackText: ""
    property string delayText: ""
    Connections {
        target: passbackBox.contentItem
        function onTextChanged() { page.passbackText = passbackBox.contentItem.text }
    }
    Connections {
        target: delayBox.contentItem
        function onTextChanged() { page.delayText = delayBox.contentItem.text }
    }

    function save() {
        // Read before the keyboard goes: what was typed counts, committed or not.
        const values = form
        Qt.inputMethod.hide()
        config.obuUrl = values.url
        config.passbackSecs = values.passback
        config.passbackQrEnabled = qrSwitch.checked
        validatorManager.saveConfig()
        manager.shutdownDelaySec = values.delay
        manager.showErrorDesc = descSwitch.checked
        StackView.view.pop()
    }

    function back() {
        Qt.inputMethod.hide()
        // Unsaved edits are dropped: the service tells the stored values again.
        validatorManager.refreshConfig()
        StackView.view.pop()
    }

    Flickable {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: buttons.top
        contentHeight: grid.height + 40
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        GridLayout {
            id: grid
            x: 20
            y: 20
            width: parent.width - 40
            columns: 2
            columnSpacing: 16
            rowSpacing: 12

            HintLabel { text: manager.dynTr + qsTr("OBC URL") }
            TextField {
                id: urlField
                objectName: "obuUrlField"
                Layout.fillWidth: true
                text: page.config.obuUrl
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoPredictiveText
                onAccepted: Qt.inputMethod.hide()
                // The scheme and host matter more than the end of a long URL.
                Component.onCompleted: cursorPosition = 0
            }

            HintLabel { text: manager.dynTr + qsTr("Passback Time (sec)") }
            SpinBox {
                id: passbackBox
                objectName: "passbackBox"
                Layout.alignment: Qt.AlignRight
                editable: true
                from: 0
                to: 86400
                stepSize: 1
                value: page.config.passbackSecs
            }

            HintLabel {
                text: manager.dynTr + qsTr("Shutdown Delay (sec)")
                hint: "The delay, in seconds, after which the system\n"
                      + "will start the shutdown sequence, providing that\n"
                      + "the ignition has been turned off (max=900 sec)."
            }
            SpinBox {
                id: delayBox
                objectName: "shutdownDelayBox"
                Layout.alignment: Qt.AlignRight
                editable: true
                from: 5
                to: 900
                stepSize: 5
                value: manager.shutdownDelaySec
            }

            HintLabel { text: manager.dynTr + qsTr("QR Passback Enabled") }
            Switch {
                id: qrSwitch
                objectName: "qrPassbackSwitch"
                Layout.alignment: Qt.AlignRight
                checked: page.config.passbackQrEnabled
            }

            HintLabel {
                text: manager.dynTr + qsTr("Show Error Description")
                hint: "If enabled, a full error description will\n"
                      + "be displayed in the 'Out-of-Order' screen\n"
                      + "instead of just an error code."
            }
            Switch {
                id: descSwitch
                objectName: "errorDescSwitch"
                Layout.alignment: Qt.AlignRight
                checked: manager.showErrorDesc
            }
        }
    }

    RowLayout {
        id: buttons
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 10
        spacing: 10

        Button {
            objectName: "configBackButton"
            Layout.fillWidth: true
            Layout.preferredHeight: 70
            text: "Back"
            onActiveFocusChanged: if (activeFocus) Qt.inputMethod.hide()
            onClicked: page.back()
        }
        Button {
            objectName: "configSaveButton"
            Layout.fillWidth: true
            Layout.preferredHeight: 70
            highlighted: true
            enabled: page.changed
            text: "Save"
            onActiveFocusChanged: if (activeFocus) Qt.inputMethod.hide()
            onClicked: page.save()
        }
    }
}
