import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"

Item {
    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        spacing: 0

        ImageBox {
            icon: "qrc:/qml/images/Icons/retry.svg"
            iconSize: Qt.size(Theme.symbolSize, Theme.symbolSize)
            iconColor: Theme.warning
        }
        TextBox {
            objectName: "outcomeTitle"
            Layout.preferredHeight: 200
            leftMargin: 40
            rightMargin: 40
            text: manager.dynTr + qsTr("PLEASE TRY AGAIN")
            textSize: Theme.titleMedium
            textBold: true
        }
        Separator {}
        Item {
            Layout.fillWidth: true
            Layout.preferredHeight: Theme.titleRow
        }
    }
}
