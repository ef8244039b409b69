import QtQuick 2.15
import QtGraphicalEffects 1.15
import "."

// The drop shadow under a button face, blurred once into a texture, not again at
// every frame of the window. Built only where the renderer draws shader effects:
// the software renderer draws none and would keep the effect's layers all the same.
Loader {
    id: root

    property Item source

    active: GraphicsInfo.shaderType !== GraphicsInfo.UnknownShadingLanguage
    sourceComponent: DropShadow {
        cached: true
        source: root.source
        horizontalOffset: 3
        verticalOffset: 3
        radius: 8
        samples: 16
        color: Theme.shadow
    }
}
