import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../controls"
import "logic.js" as Logic

// Body of "Valid" and "AlreadyValid": symbol, title, fare product and the
// detail block of the ticket type. Texts come from the two screens.
Item {
    id: page

    property string screenName
    property url symbol
    property color symbolColor
    property string title
    property real titleSize
    property var captions: ({})
    property var units: ({})
    property var pageLocale: Qt.locale()
    readonly property string block: Logic.detailBlock(transaction.type, screenName)

    Connections {
        target: manager
        function onLanguageChanged() { page.pageLocale = Qt.locale(manager.language) }
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        spacing: 0

        ImageBox {
            icon: page.symbol
            iconSize: Qt.size(Theme.symbolSize, Theme.symbolSize)
            iconColor: page.symbolColor
        }
        TextBox {
            objectName: "outcomeTitle"
            Layout.preferredHeight: Theme.titleRow
            text: page.title
            textSize: page.titleSize
            textBold: true
        }
        TextBox {
            objectName: "fareProduct"
            Layout.preferredHeight: Theme.titleRow
            leftMargin: Theme.sideMargin
            rightMargin: Theme.sideMargin
            text: Logic.plain(transaction.fareProduct)
            textSize: Theme.body
        }
        Separator {}
        DetailBlock {
            objectName: "detailBlock"
            block: page.block
            details: transaction.details
            locale: page.pageLocale
            currencySymbol: manager.currencySymbol
            captions: page.captions
            units: page.units
        }
    }
}
