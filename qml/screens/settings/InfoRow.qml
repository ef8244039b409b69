import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"

// A label at the left and its value right-aligned.
RowLayout {
    property string label
    property string value
    property color valueColor: Material.foreground

    Layout.fillWidth: true
    spacing: 10

    Label {
        text: parent.label
        font.pixelSize: Theme.settingsTextPixels
        opacity: 0.8
    }
    Label {
        objectName: "value_" + parent.label
        Layout.fillWidth: true
        text: parent.value
        color: parent.valueColor
        font.pixelSize: Theme.settingsTextPixels
        horizontalAlignment: Text.AlignRight
        elide: Text.ElideLeft
    }
}
