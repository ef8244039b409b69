import QtQuick 2.15
import "."

// The drop shadow under a button face (a Rectangle, whose corner radius it
// follows): a picture of the face's blurred outline, made once per size and drawn
// by either renderer without a shader or an offscreen layer.
Item {
    id: root

    property Item source
    property real offset: 3
    // Standard deviation of the blur, in pixels.
    property real blur: 2.7

    Image {
        x: Math.round((root.width - implicitWidth) / 2 + root.offset)
        y: Math.round((root.height - implicitHeight) / 2 + root.offset)
        source: root.source && root.visible
                ? Theme.softShadow(root.width, root.height, root.source.radius, root.blur, Theme.shadow) : ""
        smooth: false
    }
}
