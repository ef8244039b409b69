import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15

// Stands in for a settings page that this version does not offer yet.
Item {
    property string what: ""

    Column {
        anchors.centerIn: parent
        width: parent.width - 60
        spacing: 16

        Label {
            objectName: "notAvailableTitle"
            width: parent.width
            text: parent.parent.what + " is not available yet"
            font.pixelSize: 24
            font.bold: true
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
        }
        Label {
            width: parent.width
            text: "This page comes with a later version of the software. Go back to choose another setting."
            opacity: 0.7
            font.pixelSize: 18
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
        }
    }
}
