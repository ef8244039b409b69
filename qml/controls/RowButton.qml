import QtQuick 2.15
import QtQuick.Controls 2.15
import "."

// One row of the settings menu: icon, title over description, and an arrow.
Button {
    id: root

    property url rowIcon
    property string title
    property string description
    property color contentColor: Theme.rowText

    padding: 0
    leftPadding: 15
    rightPadding: 15

    contentItem: Item {
        Item {
            id: iconBox
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            // One whole size for both sides, so the picture is never asked for at
            // a passing size while the row lays itself out.
            readonly property int pixels: Math.round(texts.height)
            width: pixels
            height: pixels

            Image {
                id: icon
                anchors.fill: parent
                sourceSize: Qt.size(iconBox.pixels, iconBox.pixels)
                fillMode: Image.PreserveAspectFit
                source: iconBox.pixels > 0 ? Theme.tinted(root.rowIcon, root.contentColor) : ""
            }
        }

        Column {
            id: texts
            anchors.left: iconBox.right
            anchors.leftMargin: 20
            anchors.right: arrow.left
            anchors.rightMargin: 20
            anchors.verticalCenter: parent.verticalCenter

            Text {
                objectName: "rowTitle"
                width: parent.width
                text: root.title
                color: root.contentColor
                font.pixelSize: Math.max(1, root.height / 4)
                horizontalAlignment: Text.AlignLeft
                elide: Text.ElideRight
            }
            Text {
                width: parent.width
                text: root.description
                color: root.contentColor
                opacity: 0.6
                font.pixelSize: Math.max(1, root.height / 8)
                horizontalAlignment: Text.AlignLeft
                elide: Text.ElideRight
            }
        }

        Image {
            id: arrow
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            readonly property int pixels: Math.round(root.height / 4)
            width: root.height / 4
            height: width
            sourceSize: Qt.size(pixels, pixels)
            source: pixels > 0 ? Theme.tinted("qrc:/qml/images/Icons/arrow-right.svg", root.contentColor) : ""
        }
    }

    background: Rectangle {
        gradient: Gradient {
            GradientStop { position: 0.0; color: root.pressed ? Theme.rowPressedTop : Theme.rowTop }
            GradientStop { position: 1.0; color: Theme.rowBottom }
        }
        Rectangle {
            anchors.top: parent.top
            width: parent.width
            height: 1
            color: Theme.rowTopLine
            visible: !root.pressed
        }
        Rectangle {
            anchors.bottom: parent.bottom
            width: parent.width
            height: 1
            color: Theme.rowBottomLine
        }
    }
}
