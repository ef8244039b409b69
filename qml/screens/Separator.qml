import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"

// The white bar between an outcome's title and its details.
Item {
    Layout.fillWidth: true
    Layout.preferredHeight: Theme.separatorRow

    Rectangle {
        anchors.centerIn: parent
        width: parent.width - 70
        height: Theme.separatorHeight
        radius: 4
        color: Theme.separator
    }
}
