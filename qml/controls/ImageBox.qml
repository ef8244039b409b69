import QtQuick 2.15
import QtQuick.Layouts 1.15
import "."

// A centred, recoloured picture as high as the picture itself. With the colour
// "transparent" the picture keeps its own colours.
Item {
    id: root

    property url icon
    property size iconSize: Qt.size(250, 250)
    property color iconColor: Theme.valid
    readonly property bool recoloured: iconColor.a > 0
    // Decoded the first time it is shown, then kept: a screen that is built but
    // never shown holds no picture.
    property bool shownOnce: false

    onVisibleChanged: if (visible) shownOnce = true
    Component.onCompleted: if (visible) shownOnce = true

    Layout.fillWidth: true
    implicitWidth: iconSize.width
    implicitHeight: iconSize.height

    Image {
        id: image
        objectName: "imageBoxImage"
        anchors.centerIn: parent
        width: root.iconSize.width
        height: root.iconSize.height
        sourceSize: root.iconSize
        fillMode: Image.PreserveAspectFit
        source: !root.shownOnce ? "" : root.recoloured ? Theme.tinted(root.icon, root.iconColor) : Theme.picture(root.icon)
        smooth: true
    }
}
