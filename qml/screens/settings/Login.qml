import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "../../controls"

// The technician's PIN entry.
Item {
    id: page

    property string pin: ""
    readonly property bool dark: Material.theme !== Material.Light

    onVisibleChanged: pin = ""

    Connections {
        target: manager
        function onSettingsAccessGranted() {
            console.log("[QML] Settings access granted")
            manager.screen = "Settings"
        }
        function onSettingsAccessDenied() {
            console.warn("[QML] Settings access denied")
            page.pin = ""
            shake.restart()
        }
    }

    Column {
        id: block
        objectName: "loginBlock"
        anchors.centerIn: parent
        spacing: 0

        transform: Translate { id: offset; x: 0 }

        Rectangle {
            width: pad.width
            height: 70
            color: page.dark ? "black" : "white"
            border.width: 1
            border.color: page.dark ? Theme.pinBorderDark : Theme.pinBorderLight

            Image {
                id: lock
                anchors.left: parent.left
                anchors.leftMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                width: 35
                height: 35
                sourceSize: Qt.size(35, 35)
                source: page.dark ? Theme.tinted("qrc:/qml/images/Icons/lock.svg", Material.accent)
                                  : Theme.picture("qrc:/qml/images/Icons/lock.svg")
            }
            Text {
                objectName: "pinText"
                anchors.left: lock.right
                anchors.leftMargin: 20
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: page.pin === "" ? manager.dynTr + qsTr("Pin") : page.pin
                color: page.pin === "" ? Theme.placeholder : Material.foreground
                font.family: "Arial"
                font.pointSize: Theme.pinPoints
                font.letterSpacing: 1.2
            }
        }

        Item { width: 1; height: 4 }

        NumberPad {
            id: pad
            objectName: "loginPad"
            phoneLayout: true
            retranslate: manager.dynTr
            onCalcNumberPressed: page.pin += label
            onCustomLeftPressed: page.pin = page.pin.slice(0, -1)
            onCustomRightPressed: page.pin = ""
        }

        Item { width: 1; height: 5 }

        CustomButton {
            objectName: "loginButton"
            width: pad.width
            height: 70
            radius: 4
            enabled: page.pin !== ""
            opacity: 1.0
            color: enabled ? Material.accent : Theme.placeholder
            textColor: "white"
            textFontFamily: "Arial"
            textFontPointSize: 24
            textBold: true
            textLetterSpacing: 2.2
            text: manager.dynTr + qsTr("LOGIN")
            onClicked: manager.settingsLoginRequest(page.pin)
        }
    }

    SequentialAnimation {
        id: shake
        loops: 2
        NumberAnimation { target: offset; property: "x"; to: 10; duration: 50 }
        NumberAnimation { target: offset; property: "x"; from: 10; to: -10; duration: 100 }
        NumberAnimation { target: offset; property: "x"; to: 0; duration: 50 }
    }
}
