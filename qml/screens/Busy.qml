import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "../controls"

// Shown while the system starts, waits for the validator or goes down.
Item {
    id: page

    Column {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.topMargin: 200
        spacing: 30

        BusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(page.width, page.height) / 5
            height: width
            running: page.visible
        }

        Text {
            objectName: "busyMessage"
            width: parent.width
            leftPadding: Theme.sideMargin
            rightPadding: Theme.sideMargin
            text: manager.message
            color: Material.foreground
            font.family: Theme.fontFamily
            font.pointSize: Theme.busyMessage
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
        }
    }
}
