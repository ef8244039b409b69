pragma Singleton
import QtQuick 2.15

// The values every screen is drawn with, on top of the Material Dark style
// configured in qtquickcontrols2.conf. Screens and controls take their colours,
// sizes and durations from here instead of repeating literals.
QtObject {
    // Colours
    readonly property color accent: "#00ADD7"
    readonly property color valid: "#41b987"
    readonly property color warning: "#fcdb03"
    readonly property color error: "#db4a37"
    readonly property color separator: "white"
    readonly property color scanButtonFill: "#000621"
    readonly property color scanButtonPressedBorder: "#36C478"
    readonly property color iconDefault: "#43496a"
    // Self-test page: results not run yet, row rules, text on the check buttons
    readonly property color statusNone: "#9e9e9e"
    readonly property color diagnosticsRule: "#33ffffff"
    readonly property color diagnosticsButtonText: "#212121"
    readonly property color shadow: "#80000000"
    readonly property color hintError: "red"
    readonly property color placeholder: "#8f8f8f"
    readonly property color buttonLight: "#f3f3f3"
    readonly property color keyLight: "#D6D6D6"
    readonly property color keyDark: "#787878"
    readonly property color timeLight: "#70758e"
    // Settings menu rows
    readonly property color rowText: "#e7e7e7"
    readonly property color rowTop: "#333"
    readonly property color rowPressedTop: "#222"
    readonly property color rowBottom: "#222"
    readonly property color rowTopLine: "#444"
    readonly property color rowBottomLine: "#000"
    // Status colours of the settings pages
    readonly property color statusGood: "#4caf50"
    readonly property color statusWarn: "#ffc107"
    readonly property color statusBad: "#f44336"
    // The login page's PIN box outline, dark and light theme
    readonly property color pinBorderDark: "black"
    readonly property color pinBorderLight: "#e2e2e2"

    // Fonts
    readonly property string fontFamily: "DejaVu Sans"
    readonly property int titleLarge: 32      // "VALID", "INVALID"
    readonly property int titleMedium: 24     // "ALREADY VALIDATED", "PLEASE TRY AGAIN"
    readonly property int titleSmall: 20      // "OUT OF ORDER", "OUT OF SERVICE"
    readonly property int body: 14            // values, fare product, messages
    readonly property int caption: 10         // small captions, pop-up text
    readonly property int scanHint: 14
    readonly property int scanButton: 12
    readonly property int busyMessage: 22
    readonly property int versionPixels: 12
    readonly property int settingsTextPixels: 16  // settings rows, labels and values
    readonly property int settingsSmallPixels: 14 // settings menu descriptions, notes
    readonly property int rowTitlePixels: 18      // settings menu row titles
    readonly property int fieldPoints: 12         // address fields, serial-number hint
    readonly property int serialPoints: 18        // serial-number page title and field
    readonly property int pinPoints: 16
    readonly property int clockDatePixels: 20
    readonly property int clockTimePixels: 42

    // Geometry
    readonly property int headerHeight: 120
    readonly property int sideMargin: 35
    readonly property int titleRow: 100
    readonly property int valueRow: 70
    readonly property int captionRow: 30
    readonly property int separatorRow: 10
    readonly property int separatorHeight: 4
    readonly property int symbolSize: 250
    readonly property int reportQrSize: 300
    readonly property int faultSymbolSize: 300
    readonly property int keyboardHeight: 250
    readonly property int settingsBarHeight: 70
    readonly property int settingsTitlePixels: 28

    // Durations (ms)
    readonly property int frameInterval: 300
    readonly property int scanLoop: 2300
    readonly property int keyboardSlide: 150
    readonly property int fillAnimation: 300
    readonly property int tapWindow: 1000
    readonly property int flashFade: 1000

    // Pictures come through the program's own decoder (see PictureProvider): read by
    // their type alone, and recoloured once on decoding rather than by a shader,
    // so they look the same under either renderer. An empty address stays empty.
    function picture(url) {
        var s = String(url)
        return s === "" ? "" : "image://picture/" + s
    }
    function tinted(url, colour) {
        var s = String(url)
        return s === "" ? "" : "image://tinted/" + argb(colour) + "/" + s
    }
    // Cut to the circle inside the size the Image asks for.
    function round(url) {
        var s = String(url)
        return s === "" ? "" : "image://round/" + s
    }
    // The soft shadow of a w x h rectangle with rounded corners, with a margin for
    // the blur (a standard deviation in pixels): drawn centred on what casts it.
    function softShadow(w, h, radius, blur, colour) {
        if (!(w > 0 && h > 0))
            return ""
        return "image://shadow/" + Math.round(w) + "x" + Math.round(h) + "/" + radius + "/" + blur + "/" + argb(colour)
    }
    // "aarrggbb" of a colour.
    function argb(colour) {
        var name = Qt.tint(colour, "transparent").toString()
        return name.length === 7 ? "ff" + name.substr(1) : name.substr(1)
    }
}
