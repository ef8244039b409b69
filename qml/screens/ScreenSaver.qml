import QtQuick 2.15
import "../controls"
import "logic.js" as Logic

// Shown while the ignition is off; the header is hidden on this screen.
Rectangle {
    id: saver
    color: manager.screenSaverBg

    readonly property string picture: Logic.pictureAddress(manager.screenSaverImg)
    function checkPicture() {
        if (picture === "" && String(manager.screenSaverImg) !== "")
            console.warn("[QML] WARN: The screen saver cannot show the picture " + manager.screenSaverImg
                         + " (a qrc: or file: address or an absolute path is needed)")
    }
    onPictureChanged: checkPicture()
    Component.onCompleted: checkPicture()

    ImageBox {
        anchors.centerIn: parent
        width: 300
        visible: saver.picture !== ""
        icon: saver.picture
        iconSize: Qt.size(300, 300)
        iconColor: "transparent"
    }
}
