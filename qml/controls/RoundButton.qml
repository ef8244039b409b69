import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "."

// A round button with a centred icon, shrinking and losing its shadow while pressed.
Item {
    id: root

    property real radius: 25
    property color buttonColor: Material.accent
    property url icon
    property real iconSize: 30
    property bool pngImage: false
    property color iconColor: Theme.iconDefault
    property bool dropShadow: true
    readonly property alias pressed: area.pressed

    signal clicked()
    signal pressAndHold()

    width: radius * 2
    height: radius * 2
    scale: area.pressed ? 0.8 : 1.0

    Behavior on scale { NumberAnimation { duration: 80 } }

    ButtonShadow {
        anchors.fill: face
        source: face
        visible: root.dropShadow && !area.pressed
    }

    Rectangle {
        id: face
        anchors.fill: parent
        radius: root.radius
        color: root.buttonColor
    }

    Image {
        id: image
        anchors.centerIn: parent
        width: root.iconSize
        height: root.iconSize
        sourceSize: Qt.size(root.iconSize, root.iconSize)
        fillMode: Image.PreserveAspectFit
        source: root.pngImage ? Theme.picture(root.icon) : Theme.tinted(root.icon, root.iconColor)
        smooth: true
    }

    MouseArea {
        id: area
        anchors.fill: parent
        onClicked: root.clicked()
        onPressAndHold: root.pressAndHold()
    }
}
