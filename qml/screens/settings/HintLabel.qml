import QtQuick 2.15
import QtQuick.Controls 2.15
import "../../controls"

// A form label that explains itself in a tool tip while hovered or held.
Label {
    id: root

    property string hint: ""

    font.pixelSize: Theme.settingsTextPixels
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        enabled: root.hint !== ""
    }
    ToolTip.visible: root.hint !== "" && (area.containsMouse || area.pressed)
    ToolTip.text: root.hint
}
