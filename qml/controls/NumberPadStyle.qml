import QtQuick 2.15
import "."

// Key colours of the number pad for the light and the dark theme.
QtObject {
    property bool dark: true

    readonly property color keyColor: dark ? "black" : "white"
    readonly property color keyTextColor: dark ? "white" : "black"
    readonly property color keyBorderColor: dark ? "transparent" : "black"
    readonly property real keyBorderWidth: dark ? 0 : 1
    readonly property color functionKeyColor: dark ? Theme.keyDark : Theme.keyLight
    readonly property real pressedDarkness: 2.0
    readonly property string fontFamily: "Arial"
    readonly property real fontPointSize: 16
    readonly property real radius: 4
}
