import QtQuick 2.15
// The style loads this file under its own name, so a relative import would look
// in the style.
import "qrc:/qml/controls"

// Stands in for the Material style's elevation effect where the renderer draws no
// shader effects (the program swaps it in then). The control's background is shown
// from a layer of its own and its elevation as two soft shadows, a key shadow
// below and a wider ambient one, drawn from pictures.
Item {
    id: effect

    // What the style sets on its effect.
    property var source
    property int elevation: 0
    property bool fullWidth: false
    property bool fullHeight: false

    readonly property Item sourceItem: source ? source.sourceItem : null
    readonly property real cornerRadius: sourceItem && sourceItem.radius !== undefined ? sourceItem.radius : 0

    Repeater {
        model: effect.elevation > 0 && effect.visible
               ? [{ "offset": Math.round(effect.elevation / 2), "blur": effect.elevation / 2, "alpha": 0.24 },
                  { "offset": Math.round(effect.elevation / 4), "blur": effect.elevation, "alpha": 0.12 }]
               : []

        Image {
            // A full-width (or -height) bar casts its shadow past its ends.
            readonly property real w: effect.width + (effect.fullWidth ? 8 * modelData.blur + 2 : 0)
            readonly property real h: effect.height + (effect.fullHeight ? 8 * modelData.blur + 2 : 0)
            x: Math.round((effect.width - implicitWidth) / 2)
            y: Math.round((effect.height - implicitHeight) / 2 + modelData.offset)
            source: Theme.softShadow(w, h, effect.cornerRadius, modelData.blur, Qt.rgba(0, 0, 0, modelData.alpha))
            smooth: false
            // A menu's wide shadow takes a few milliseconds to make; it follows a
            // frame later rather than hold the menu back.
            asynchronous: true
        }
    }

    ShaderEffectSource {
        anchors.fill: parent
        sourceItem: effect.sourceItem
    }
}
