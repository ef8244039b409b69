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
            icon: "qrc:/qml/images/Icons/warning.svg"
            iconSize: Qt.size(Theme.faultSymbolSize, Theme.faultSymbolSize)
            iconColor: Theme.error
        }
        TextBox {
            objectName: "outcomeTitle"
            Layout.preferredHeight: Theme.titleRow
            text: manager.dynTr + qsTr("OUT OF ORDER")
            textSize: Theme.titleSmall
            textBold: true
        }
        Separator {}
        TextBox {
            objectName: "faultMessage"
            Layout.preferredHeight: Theme.titleRow
            leftMargin: Theme.sideMargin
            rightMargin: Theme.sideMargin
            text: manager.message
            textSize: Theme.body
        }
    }
}
