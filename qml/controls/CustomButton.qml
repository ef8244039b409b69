import QtQuick 2.15
import "."

// A rectangular button. Each press grows a darker circle from the touch point,
// so a passenger sees the press register even on a slow panel.
Item {
    id: root

    property string text
    property color color: Theme.buttonLight
    property color borderColor: "transparent"
    property real borderWidth: 0
    property real radius: 0
    property bool flat: true
    property bool scaleAnimationEnabled: false
    property real scaleAnimation: 0.9
    property bool fillAnimationEnabled: true
    property color fillColor: color
    property int fillAnimationDuration: Theme.fillAnimation
    property color colorPressed: color

    property color textColor: "black"
    property int textHAlignment: Text.AlignHCenter
    property int textVAlignment: Text.AlignVCenter
    property real textFontPointSize: 12
    property int textFontPixelSize: -1
    property bool textBold: false
    property string textFontFamily: Theme.fontFamily
    property int textFontWeight: textBold ? Font.Bold : Font.Normal
    property real textLetterSpacing: 0
    property int textWrapMode: Text.WordWrap
    property int textElide: Text.ElideRight
    property int textStyle: Text.Normal
    property color textStyleColor: "transparent"
    property bool textFontCapitalization: false

    property url icon
    property color iconColor: textColor
    property real iconSize: 30

    readonly property alias isPressed: area.pressed
    readonly property alias fillRunning: fillAnimation.running
    readonly property alias label: label

    signal clicked()
    signal pressed()
    signal released()

    implicitWidth: 100
    implicitHeight: 60
    opacity: enabled ? 1.0 : 0.3
    scale: scaleAnimationEnabled && area.pressed ? scaleAnimation : 1.0

    Behavior on scale { NumberAnimation { duration: 80 } }

    ButtonShadow {
        anchors.fill: body
        source: body
        visible: !root.flat && !area.pressed
    }

    Rectangle {
        id: body
        anchors.fill: parent
        radius: root.radius
        color: area.pressed ? root.colorPressed : root.color
        border.color: root.borderColor
        border.width: root.borderWidth

        // Inside the border so the circle never paints over it.
        Item {
            id: fillClip
            anchors.fill: parent
            anchors.margins: root.borderWidth
            clip: true

            Rectangle {
                id: circle
                property real cx: 0
                property real cy: 0
                x: cx - width / 2
                y: cy - height / 2
                width: 0
                height: width
                radius: width / 2
                color: Qt.darker(root.fillColor, 1.5)
                visible: fillAnimation.running
            }
        }
    }

    NumberAnimation {
        id: fillAnimation
        target: circle
        property: "width"
        from: 0
        to: Math.max(root.width, root.height) * 3
        duration: root.fillAnimationDuration
        easing.type: Easing.OutQuad
    }

    Item {
        id: iconArea
        visible: root.icon.toString() !== ""
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: visible ? parent.width * 0.35 : 0

        Image {
            id: iconImage
            x: (parent.width - width) / 2 + 10
            anchors.verticalCenter: parent.verticalCenter
            width: root.iconSize
            height: root.iconSize
            sourceSize: Qt.size(root.iconSize, root.iconSize)
            fillMode: Image.PreserveAspectFit
            source: Theme.tinted(root.icon, root.iconColor)
        }
    }

    Text {
        id: label
        anchors.left: iconArea.right
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.margins: root.borderWidth + 4
        text: root.text
        color: root.textColor
        horizontalAlignment: root.textHAlignment
        verticalAlignment: root.textVAlignment
        wrapMode: root.textWrapMode
        elide: root.textElide
        style: root.textStyle
        styleColor: root.textStyleColor
        font.family: root.textFontFamily
        font.weight: root.textFontWeight
        font.letterSpacing: root.textLetterSpacing
        font.capitalization: root.textFontCapitalization ? Font.AllUppercase : Font.MixedCase
        Component.onCompleted: applyFontSize()
        function applyFontSize() {
            if (root.textFontPixelSize > 0)
                font.pixelSize = root.textFontPixelSize
            else
                font.pointSize = root.textFontPointSize
        }
        Connections {
            target: root
            function onTextFontPixelSizeChanged() { label.applyFontSize() }
            function onTextFontPointSizeChanged() { label.applyFontSize() }
        }
    }

    MouseArea {
        id: area
        anchors.fill: parent
        onPressed: function(mouse) {
            if (root.fillAnimationEnabled) {
                circle.cx = mouse.x - root.borderWidth
                circle.cy = mouse.y - root.borderWidth
                fillAnimation.restart()
            }
            root.pressed()
        }
        onReleased: root.released()
        onClicked: root.clicked()
    }
}
