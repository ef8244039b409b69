import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "."

// One entry of the event list: a coloured bar at the left, the title, and when
// expanded the message and a delete icon.
Item {
    id: root

    property string title
    property string message
    property string time
    property bool isExpandable: false
    property bool expanded: false
    property bool enableColorAnimation: false
    property color decorationColor: Material.accent
    property color backgroundColor: light ? "white" : "black"
    property color pressedColor: Material.accent
    property color textColor: light ? Theme.iconDefault : "white"
    property bool enableLatchButton: false
    readonly property bool light: Material.theme === Material.Light

    signal clicked()
    signal pressed()
    signal released()
    signal deleteRequest()

    width: parent ? parent.width : 400
    height: Math.min(150, titleText.height + 30 + (expanded ? messageText.height + 30 : 0))
    clip: true

    QtObject {
        id: d
        property bool latched: false
    }

    Rectangle {
        id: decoration
        width: 16
        height: parent.height
        radius: 4
        color: root.decorationColor
    }

    Rectangle {
        id: background
        anchors.fill: parent
        anchors.leftMargin: decoration.width - 4
        color: root.backgroundColor

        ColorAnimation on color {
            id: flash
            running: false
            to: root.backgroundColor
            duration: Theme.flashFade
        }
    }

    Row {
        id: timeRow
        visible: root.time !== ""
        anchors.top: parent.top
        anchors.topMargin: 13
        anchors.right: parent.right
        anchors.rightMargin: 7
        spacing: 4

        Item {
            width: 14
            height: 14
            anchors.verticalCenter: parent.verticalCenter
            Image {
                id: clockIcon
                anchors.fill: parent
                source: Theme.tinted("qrc:/qml/images/Icons/clock.svg", timeText.color)
                sourceSize: Qt.size(14, 14)
            }
        }
        Text {
            id: timeText
            text: root.time
            font.family: "Roboto"
            font.pixelSize: Theme.settingsSmallPixels
            font.weight: Font.Medium
            color: root.light ? Theme.timeLight : "white"
        }
    }

    Text {
        id: titleText
        objectName: "messageRowTitle"
        anchors.top: parent.top
        anchors.topMargin: 15
        anchors.left: background.left
        anchors.leftMargin: 14
        anchors.right: timeRow.visible ? timeRow.left : parent.right
        anchors.rightMargin: 8
        text: root.title
        color: root.textColor
        font.family: "Roboto"
        font.pixelSize: Theme.rowTitlePixels
        font.weight: root.expanded ? Font.Bold : Font.Medium
        font.letterSpacing: 0.8
        opacity: root.expanded ? 1.0 : 0.75
        elide: root.expanded ? Text.ElideNone : Text.ElideRight
        wrapMode: root.expanded ? Text.WordWrap : Text.NoWrap
        maximumLineCount: root.expanded ? 4 : 1
    }

    Text {
        id: messageText
        objectName: "messageRowMessage"
        visible: root.expanded
        anchors.top: titleText.bottom
        anchors.topMargin: 10
        anchors.left: titleText.left
        anchors.right: parent.right
        anchors.rightMargin: 50
        text: root.message
        color: root.textColor
        font.family: Theme.fontFamily
        font.pixelSize: Theme.rowTitlePixels
        wrapMode: Text.WordWrap
    }

    MouseArea {
        anchors.fill: parent
        onPressed: {
            if (!root.enableLatchButton)
                root.pressed()
        }
        onReleased: {
            if (!root.enableLatchButton)
                root.released()
        }
        onClicked: {
            if (root.enableColorAnimation) {
                background.color = root.pressedColor
                flash.restart()
            }
            if (root.isExpandable)
                root.expanded = !root.expanded
            if (root.enableLatchButton) {
                d.latched = !d.latched
                if (d.latched)
                    root.pressed()
                else
                    root.released()
            }
            root.clicked()
        }
    }

    Item {
        objectName: "messageRowTrash"
        visible: root.expanded
        width: 26
        height: 26
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 12

        Image {
            id: trash
            anchors.fill: parent
            source: Theme.tinted("qrc:/qml/images/Icons/trash.svg", root.textColor)
            sourceSize: Qt.size(26, 26)
        }
        MouseArea {
            anchors.fill: parent
            anchors.margins: -8
            onClicked: root.deleteRequest()
        }
    }
}
