import QtQuick 2.15
import QtGraphicalEffects 1.15
import "../../controls"

// A small flag in a circle.
Item {
    id: root

    property url source

    implicitWidth: 36
    implicitHeight: 36

    Image {
        id: flag
        anchors.fill: parent
        sourceSize: Qt.size(width, height)
        fillMode: Image.PreserveAspectCrop
        source: Theme.picture(root.source)
        visible: false
    }
    Rectangle {
        id: mask
        anchors.fill: parent
        radius: width / 2
        visible: false
    }
    OpacityMask {
        anchors.fill: parent
        source: flag
        maskSource: mask
    }
}
