import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "../../controls"

// A title in the left half and its value in the right half, the value coloured
// by its class ("good", "warn", "bad"; anything else the plain foreground).
Item {
    id: row

    property string title
    property string value
    property string valueClass: ""

    implicitWidth: 440
    implicitHeight: 40

    Label {
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width / 2
        text: row.title
        font.pixelSize: Theme.settingsTextPixels
        opacity: 0.8
        elide: Text.ElideRight
    }
    Label {
        objectName: "value_" + row.title
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width / 2
        text: row.value
        font.pixelSize: Theme.settingsTextPixels
        horizontalAlignment: Text.AlignRight
        elide: Text.ElideLeft
        color: {
            switch (row.valueClass) {
            case "good": return Theme.statusGood
            case "warn": return Theme.statusWarn
            case "bad": return Theme.statusBad
            }
            return Material.foreground
        }
    }
}
