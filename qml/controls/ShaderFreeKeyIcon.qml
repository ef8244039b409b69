import QtQuick 2.15
// Loaded under the keyboard style's own name: a relative import would look there.
import "qrc:/qml/controls"

// Stands in for the virtual keyboard's key icon where the renderer draws no shader
// effects (the program swaps it in then): the icon is recoloured by the picture
// provider on decoding instead of by a shader, and drawn as the style draws it,
// centred, at its own size up to the size of the item.
Item {
    id: root

    property color color
    property url source

    Image {
        anchors.centerIn: parent
        sourceSize.width: root.width
        sourceSize.height: root.height
        width: Math.min(implicitWidth, root.width)
        height: Math.min(implicitHeight, root.height)
        fillMode: Image.PreserveAspectFit
        source: root.width > 0 && root.height > 0 ? Theme.tinted(root.source, root.color) : ""
    }
}
