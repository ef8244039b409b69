import QtQuick 2.15
import "../../controls"

// A small flag in a circle.
Item {
    id: root

    property url flag

    implicitWidth: 36
    implicitHeight: 36

    Image {
        anchors.fill: parent
        sourceSize: Qt.size(width, height)
        source: width > 0 && height > 0 ? Theme.round(root.flag) : ""
    }
}
