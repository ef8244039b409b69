import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "../../controls"

// The technician's settings area. For now it offers the way out.
Item {
    id: page

    ToolBar {
        id: bar
        anchors.left: parent.left
        anchors.right: parent.right
        height: 70

        Label {
            anchors.centerIn: parent
            text: "Settings"
            font.pixelSize: 28
            elide: Label.ElideRight
        }
    }

    Column {
        anchors.centerIn: parent
        spacing: 20

        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Serial Number : " + manager.deviceId
            font.pointSize: 14
        }

        Button {
            objectName: "logoutButton"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 300
            height: 70
            highlighted: true
            text: "Logout"
            onClicked: manager.settingsLogoutRequest()
        }
    }
}
