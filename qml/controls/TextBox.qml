import QtQuick 2.15
import QtQuick.Layouts 1.15
import QtQuick.Controls.Material 2.15
import "."

// A word-wrapped label filling its box within the side margins.
Item {
    id: root

    property string text: ""
    property real textSize: 16
    property int textHAlign: Text.AlignHCenter
    property int textVAlign: Text.AlignVCenter
    property bool textBold: false
    property real textLetterSpacing: 1.0
    property real leftMargin: 0
    property real rightMargin: 0
    property color textColor: Material.foreground
    readonly property alias label: label

    Layout.fillWidth: true

    Text {
        id: label
        anchors.fill: parent
        anchors.leftMargin: root.leftMargin
        anchors.rightMargin: root.rightMargin
        text: root.text
        horizontalAlignment: root.textHAlign
        verticalAlignment: root.textVAlign
        wrapMode: Text.WordWrap
        font.family: Theme.fontFamily
        font.pointSize: root.textSize
        font.bold: root.textBold
        font.letterSpacing: root.textLetterSpacing
        color: root.textColor
        elide: Text.ElideRight
    }
}
