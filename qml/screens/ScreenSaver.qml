import QtQuick 2.15
import "../controls"

// Shown while the ignition is off; the header is hidden on this screen.
Rectangle {
    color: manager.screenSaverBg

    ImageBox {
        anchors.centerIn: parent
        width: 300
        icon: manager.screenSaverImg
        iconSize: Qt.size(300, 300)
        iconColor: "transparent"
    }
}
