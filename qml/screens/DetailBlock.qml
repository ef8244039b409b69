import QtQuick 2.15
import QtQuick.Layouts 1.15
import QtQuick.Controls.Material 2.15
import "../controls"
import "logic.js" as Logic

// The ticket details under a valid outcome. The hosting screen passes the
// translated captions and unit words so they stay in its translation context.
Item {
    id: root

    // One of "barcode", "journeys", "transferPurse", "period", "purse" or "".
    property string block: ""
    property var details: ({})
    property var locale: Qt.locale()
    property string currencySymbol: ""
    property var captions: ({})
    property var units: ({})

    readonly property var content: compose(block, details, locale, currencySymbol, captions, units)

    function periodText(minutes) {
        var p = Logic.period(minutes)
        var unit = units[p.unit] !== undefined ? units[p.unit] : p.unit
        return p.value + " " + unit
    }

    function field(name) {
        return details ? details[name] : undefined
    }

    function compose(block, details, locale, currencySymbol, captions, units) {
        var c = { "left": "", "leftValue": "", "leftBold": true,
                  "right": "", "rightValue": "", "rightBold": true }
        switch (block) {
        case "barcode":
            c.left = captions.remaining
            c.leftValue = periodText(field("transferRemainingMin"))
            break
        case "journeys":
            c.left = captions.remaining
            c.leftValue = periodText(field("transferRemainingMin"))
            c.right = captions.trips
            c.rightValue = Logic.plain(field("remaining"))
            break
        case "transferPurse":
            c.left = captions.remaining
            c.leftValue = periodText(field("transferRemainingMin"))
            c.right = captions.balance
            c.rightValue = Logic.currency(field("remaining"), locale, currencySymbol)
            c.rightBold = false
            break
        case "period":
            c.left = captions.remaining
            c.leftValue = periodText(field("remaining"))
            c.right = captions.expires
            c.rightValue = Logic.shortDate(field("expires"), locale)
            break
        case "purse":
            c.left = captions.deducted
            c.leftValue = Logic.currency(field("deducted"), locale, currencySymbol)
            c.leftBold = false
            c.right = captions.balance
            c.rightValue = Logic.currency(field("remaining"), locale, currencySymbol)
            c.rightBold = false
            break
        }
        return c
    }

    readonly property bool single: block === "barcode"

    visible: block !== ""
    Layout.fillWidth: true
    Layout.preferredHeight: visible ? Theme.captionRow + Theme.valueRow : 0

    GridLayout {
        anchors.fill: parent
        columns: 2
        rowSpacing: 0
        columnSpacing: 0

        TextBox {
            objectName: "detailLeftCaption"
            Layout.columnSpan: root.single ? 2 : 1
            Layout.preferredWidth: root.single ? root.width : root.width / 2
            Layout.preferredHeight: Theme.captionRow
            text: root.content.left
            textSize: Theme.caption
            textHAlign: root.single ? Text.AlignHCenter : Text.AlignLeft
            leftMargin: root.single ? 0 : Theme.sideMargin
        }
        TextBox {
            objectName: "detailRightCaption"
            visible: !root.single
            Layout.preferredWidth: root.width / 2
            Layout.preferredHeight: Theme.captionRow
            text: root.content.right
            textSize: Theme.caption
            textHAlign: Text.AlignRight
            rightMargin: Theme.sideMargin
        }
        TextBox {
            objectName: "detailLeftValue"
            Layout.columnSpan: root.single ? 2 : 1
            Layout.preferredWidth: root.single ? root.width : root.width / 2
            Layout.preferredHeight: Theme.valueRow
            text: root.content.leftValue
            textSize: Theme.body
            textBold: root.content.leftBold
            textVAlign: Text.AlignTop
            textHAlign: root.single ? Text.AlignHCenter : Text.AlignLeft
            leftMargin: root.single ? 0 : Theme.sideMargin
        }
        TextBox {
            objectName: "detailRightValue"
            visible: !root.single
            Layout.preferredWidth: root.width / 2
            Layout.preferredHeight: Theme.valueRow
            text: root.content.rightValue
            textSize: Theme.body
            textBold: root.content.rightBold
            textVAlign: Text.AlignTop
            textHAlign: Text.AlignRight
            rightMargin: Theme.sideMargin
        }
    }
}
