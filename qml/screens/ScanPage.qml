import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "../controls"
import "logic.js" as Logic

// Common body of "ScanCard" and "ScanBarcode": one looping animation, a hint and
// a button that switches to the other page. The two pages supply the texts so
// each keeps its own translation context.
Item {
    id: page

    // 0: card animation, 1: ticket animation.
    property int mode: 0
    property string hint
    property string buttonText
    property url buttonIcon
    property string otherPage
    property int frame: 0

    signal switchRequested(string name)

    // One pass over the frames takes Theme.scanLoop. A timer rather than an
    // animation: it wakes the program once per frame, not on every vsync, and
    // nothing steps while the page is hidden.
    Timer {
        interval: Theme.scanLoop / Logic.frameCounts[page.mode]
        running: page.visible
        repeat: true
        onTriggered: page.frame = (page.frame + 1) % Logic.frameCounts[page.mode]
    }

    ScanAnimation {
        objectName: "scanFrame"
        anchors.centerIn: parent
        anchors.verticalCenterOffset: 10
        mode: page.mode
        frame: page.frame
    }

    Text {
        objectName: "scanHint"
        width: 150
        height: 120
        anchors.top: parent.top
        anchors.topMargin: 150
        anchors.right: parent.right
        anchors.rightMargin: 20
        text: page.hint
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

    CustomButton {
        id: switchButton
        objectName: "scanSwitchButton"
        width: 270
        height: 120
        // The left border lies beyond the screen edge: the button reads as a tab.
        x: -borderWidth
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 20
        borderWidth: 10
        borderColor: isPressed ? Theme.scanButtonPressedBorder : Material.accent
        color: Theme.scanButtonFill
        icon: page.buttonIcon
        iconColor: "white"
        iconSize: 50
        text: page.buttonText
        textColor: "white"
        textHAlignment: Text.AlignLeft
        textFontPointSize: Theme.scanButton
        onClicked: page.switchRequested(page.otherPage)
    }
}
