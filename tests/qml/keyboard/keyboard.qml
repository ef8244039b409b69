import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2

Item {
    id: root
    width: 480
    height: 800

    TestCase {
        name: "Keyboard"
        when: windowShown

        function test_serialPageHostsQtKeyboard() {
            var component = Qt.createComponent("qrc:/qml/screens/InitPage.qml")
            compare(component.status, Component.Ready, component.errorString())
            var page = createTemporaryObject(component, root, { "width": 480, "height": 680 })
            var keyboard = null
            for (var i = 0; i < page.children.length; ++i)
                if (page.children[i].keyboard !== undefined)
                    keyboard = page.children[i]
            verify(keyboard)
            compare(keyboard.keyboard, "qt")
            verify(keyboard.visible)
            compare(keyboard.y, 680)

            root.Window.window.requestActivate()
            tryCompare(root.Window.window, "active", true, 10000)
            var field = findChild(page, "serialField")
            field.forceActiveFocus()
            Qt.inputMethod.show()
            tryCompare(Qt.inputMethod, "visible", true, 10000)
            // Slides up to the page's bottom edge; the form ends above it.
            tryCompare(keyboard, "y", 680 - keyboard.height, 10000)
            var flick = page.children[0]
            tryCompare(flick, "height", keyboard.y, 10000)

            // Leaving the field puts the keyboard away.
            root.forceActiveFocus()
            tryCompare(Qt.inputMethod, "visible", false, 10000)
            tryCompare(keyboard, "y", 680, 10000)
        }
    }
}
