import QtQuick 2.15
import "."
import "logic.js" as Logic

// The window header: the language flag at the left, the clock at the right.
// The host owns the language; the header only asks for the switch.
Item {
    id: root

    property string language: ""
    property var locale: Qt.locale()
    readonly property alias clock: clock

    signal magicButtonPressed()
    signal languageSelected(string language)

    width: parent ? parent.width : 480
    height: Theme.headerHeight

    RoundButton {
        id: flagButton
        objectName: "languageButton"
        anchors.left: parent.left
        anchors.leftMargin: 30
        anchors.verticalCenter: parent.verticalCenter
        radius: 35
        icon: Logic.flagFor(root.language)
        iconSize: 100
        pngImage: true
        onClicked: root.languageSelected(Logic.nextLanguage(root.language))
    }

    Clock {
        id: clock
        objectName: "headerClock"
        anchors.verticalCenter: parent.verticalCenter
        locale: root.locale
        dateFormat: "dd-MMM-yyyy"
        timeFormat: "hh:mm"
        onClicked: console.log("[QML] Clock tapped.")
        onPressAndHold: root.magicButtonPressed()
    }
}
