import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "../controls"
import "logic.js" as Logic

// The resting scan prompt: the card-tap and the ticket animations take turns.
Item {
    id: page

    // 0: card animation, 1: ticket animation.
    property int mode: 0
    property int frame: 0
    readonly property int switchMsec: manager.animSwitchSec
    // Of the switch period: what is left, and since when the prompt shows.
    property int switchLeftMsec: switchMsec
    property double shownSinceMsec: 0

    function advance() {
        var step = Logic.nextFrame(mode, frame, switchMsec)
        frame = step.frame
        mode = step.mode
    }

    function switchMode() {
        frame = 0
        mode = 1 - mode
    }

    // The switch timer wakes once per period, and only while the prompt shows.
    function resumeSwitchPeriod() {
        switchTimer.stop()
        if (switchMsec <= 0 || !visible)
            return
        if (switchLeftMsec <= 0 || switchLeftMsec > switchMsec)
            switchLeftMsec = switchMsec
        shownSinceMsec = Date.now()
        switchTimer.interval = switchLeftMsec
        switchTimer.start()
    }

    function restSwitchPeriod() {
        if (!switchTimer.running)
            return
        switchTimer.stop()
        switchLeftMsec = Logic.switchLeft(switchLeftMsec, shownSinceMsec, Date.now(), switchMsec)
    }

    onVisibleChanged: visible ? resumeSwitchPeriod() : restSwitchPeriod()
    onSwitchMsecChanged: {
        switchLeftMsec = switchMsec
        resumeSwitchPeriod()
    }
    Component.onCompleted: resumeSwitchPeriod()

    ScanAnimation {
        objectName: "scanFrame"
        anchors.centerIn: parent
        anchors.verticalCenterOffset: 10
        mode: page.mode
        frame: page.frame
    }

    // Nothing steps while the page is hidden.
    Timer {
        interval: Theme.frameInterval
        running: page.visible
        repeat: true
        onTriggered: page.advance()
    }

    Timer {
        id: switchTimer
        repeat: false
        onTriggered: {
            page.switchMode()
            page.switchLeftMsec = page.switchMsec
            page.resumeSwitchPeriod()
        }
    }

    Text {
        objectName: "scanHint"
        width: 150
        height: 170
        anchors.top: parent.top
        anchors.topMargin: 150
        anchors.right: parent.right
        anchors.rightMargin: 20
        text: page.mode === 0 ? manager.dynTr + qsTr("SCAN\nYOUR CARD")
                              : manager.dynTr + qsTr("SCAN\nYOUR TICKET")
        font.family: "DejaVu Sans"
        font.pointSize: Theme.scanHint
        font.bold: true
        horizontalAlignment: Text.AlignRight
        verticalAlignment: Text.AlignVCenter
        color: Material.foreground
        wrapMode: Text.WordWrap
        // Each given line is kept whole, at a smaller size only when it needs one
        // (the Greek ticket hint); a wrapped third line would leave the box.
        fontSizeMode: Text.HorizontalFit
        minimumPointSize: 8
    }
}
