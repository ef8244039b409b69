import QtQuick 2.15
import "."

// Hosts the on-screen keyboard at the bottom of its parent: it rests just below
// the parent's bottom edge and slides up while the input method is visible.
// The device's own keyboard plug-in is preferred; Qt's virtual keyboard stands
// in where only that is installed; with neither the page simply has no keyboard.
Item {
    id: root

    // "free", "qt" or "" (none).
    readonly property string keyboard: d.kind
    readonly property bool shown: Qt.inputMethod.visible && d.kind !== ""
    property string owner: ""

    width: parent ? parent.width : 480
    height: Theme.keyboardHeight
    y: parent ? (shown ? parent.height - height : parent.height) : 0
    z: 1000
    visible: d.kind !== ""

    Behavior on y {
        NumberAnimation {
            duration: Theme.keyboardSlide
            easing.type: Easing.InOutQuad
        }
    }

    QtObject {
        id: d
        property string kind: ""
        property var panel: null
        property bool created: false
    }

    // A missing module only fails the component; creating it through
    // Qt.createComponent keeps that out of the warning log.
    function tryCreate(file) {
        var component = Qt.createComponent(file)
        if (component.status !== Component.Ready)
            return null
        return component.createObject(root, { "width": Qt.binding(function() { return root.width }) })
    }

    // The keyboard is large: it is built the first time the hosting page is
    // shown, not with the page.
    readonly property bool hostShown: parent !== null && parent.visible
    onHostShownChanged: createPanel()
    Component.onCompleted: createPanel()

    function createPanel() {
        if (!hostShown || d.created)
            return
        d.created = true
        var panel = tryCreate("FreeKeyboard.qml")
        if (panel) {
            d.kind = "free"
        } else {
            panel = tryCreate("QtKeyboard.qml")
            if (panel)
                d.kind = "qt"
        }
        // The panel sizes its own height from its width: keep it on the host's bottom
        // edge, or a gap opens under the keys.
        if (panel)
            panel.y = Qt.binding(function() { return root.height - panel.height })
        d.panel = panel
        var where = owner !== "" ? " (" + owner + ")" : ""
        if (d.kind === "free")
            console.log("[QML] On-screen keyboard" + where + " : QtQuick.FreeVirtualKeyboard")
        else if (d.kind === "qt")
            console.log("[QML] On-screen keyboard" + where + " : QtQuick.VirtualKeyboard")
        else
            console.log("[QML] On-screen keyboard" + where + " : none installed")
    }
}
