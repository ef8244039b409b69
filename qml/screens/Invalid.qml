import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"
import "logic.js" as Logic

Item {
    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        spacing: 0

        ImageBox {
            icon: "qrc:/qml/images/Icons/invalid.svg"
            iconSize: Qt.size(Theme.symbolSize, Theme.symbolSize)
            iconColor: Theme.error
        }
        TextBox {
            objectName: "outcomeTitle"
            Layout.preferredHeight: Theme.titleRow
            text: manager.dynTr + qsTr("INVALID")
            textSize: Theme.titleLarge
            textBold: true
        }
        Item {
            Layout.fillWidth: true
            Layout.preferredHeight: Theme.titleRow
        }
        Separator {}
        TextBox {
            objectName: "denyReason"
            Layout.preferredHeight: Theme.titleRow
            leftMargin: Theme.sideMargin
            rightMargin: 25
            text: Logic.plain(transaction.denyReason)
            textSize: Theme.body
        }
    }
}
