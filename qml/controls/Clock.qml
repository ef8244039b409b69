import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "."

// Date above time. Besides ordinary taps it detects the technician gesture:
// a long press, or more than two presses within one second.
Item {
    id: root

    property var locale: Qt.locale()
    property string dateFormat: "ddd, d MMM yyyy"
    property string timeFormat: "hh:mm:ss"
    property int longPressMsec: 800
    // Presses counted in the current one-second window; exposed for tests.
    readonly property int tapCount: d.taps

    signal clicked()
    signal pressAndHold()

    width: 200
    height: 65
    anchors.right: parent ? parent.right : undefined

    QtObject {
        id: d
        property int taps: 0
        property date now: new Date()
    }

    function refresh() {
        d.now = new Date()
    }

    // Rests while the clock is hidden (settings, screen saver) and catches up when
    // shown again.
    Timer {
        interval: 1000
        repeat: true
        running: root.visible
        triggeredOnStart: true
        onTriggered: root.refresh()
    }

    Timer {
        id: tapTimer
        interval: Theme.tapWindow
        repeat: false
        onTriggered: {
            console.log("[QML][Clock] Press time expired : " + d.taps + " click(s)")
            var detected = d.taps > 2
            d.taps = 0
            if (detected) {
                console.log("[QML][Clock] More than 2 taps detected within 1 sec.")
                root.pressAndHold()
            }
        }
    }

    readonly property color textColor: Material.theme === Material.Light ? "black" : "white"

    Column {
        anchors.right: parent.right
        anchors.rightMargin: 25
        anchors.verticalCenter: parent.verticalCenter

        Text {
            objectName: "clockDate"
            anchors.right: parent.right
            horizontalAlignment: Text.AlignRight
            text: d.now.toLocaleDateString(root.locale, root.dateFormat)
            color: root.textColor
            font.family: Theme.fontFamily
            font.pixelSize: Theme.clockDatePixels
            font.letterSpacing: 0.2
            font.weight: Font.Medium
        }
        Text {
            objectName: "clockTime"
            anchors.right: parent.right
            horizontalAlignment: Text.AlignRight
            text: d.now.toLocaleTimeString(root.locale, root.timeFormat)
            color: root.textColor
            font.family: Theme.fontFamily
            font.pixelSize: Theme.clockTimePixels
            font.letterSpacing: 0.8
            font.bold: true
        }
    }

    MouseArea {
        anchors.fill: parent
        pressAndHoldInterval: root.longPressMsec
        onPressed: {
            if (!tapTimer.running)
                tapTimer.start()
            d.taps += 1
        }
        onClicked: root.clicked()
        onPressAndHold: {
            console.log("[QML][Clock] Press and hold detected")
            tapTimer.stop()
            d.taps = 0
            root.pressAndHold()
        }
    }
}
