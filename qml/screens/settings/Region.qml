import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Extras 1.4
import QtQuick.Layouts 1.15
import "../../controls"
import "logic.js" as Logic
import "../logic.js" as Screens

// Language and formats, time zone and NTP.
Item {
    id: page
    objectName: "regionPage"

    readonly property var clock: manager.clock
    readonly property var pageLocale: Qt.locale(manager.dynTr + manager.language)
    property date now: new Date()

    Component.onCompleted: clock.refresh()

    Timer {
        interval: 1000
        repeat: true
        running: page.visible
        triggeredOnStart: true
        onTriggered: page.now = new Date()
    }

    Flickable {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: syncButton.top
        contentHeight: grid.height + 40
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        GridLayout {
            id: grid
            x: 20
            y: 20
            width: parent.width - 40
            columns: 2
            columnSpacing: 16
            rowSpacing: 14

            HintLabel { text: manager.dynTr + qsTr("Locale") }
            ComboBox {
                id: localeBox
                objectName: "localeBox"
                Layout.fillWidth: true
                model: Logic.locales
                currentIndex: Logic.locales.indexOf(manager.language)
                onActivated: manager.language = currentText
            }

            HintLabel { text: manager.dynTr + qsTr("Language") }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10
                Label {
                    objectName: "languageName"
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignRight
                    text: manager.dynTr + Qt.locale().nativeLanguageName
                    font.pixelSize: Theme.settingsTextPixels
                    font.bold: true
                }
                RoundFlag {
                    flag: manager.language === "el_GR" ? "qrc:/qml/images/Flags/gr.png"
                                                         : "qrc:/qml/images/Flags/uk.png"
                }
            }

            HintLabel { text: manager.dynTr + qsTr("Currency Format") }
            Label {
                objectName: "currencyFormat"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignRight
                text: Screens.currency(0.99, page.pageLocale, manager.currencySymbol)
                font.pixelSize: Theme.settingsTextPixels
                font.bold: true
            }

            HintLabel { text: manager.dynTr + qsTr("Time Format") }
            Label {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignRight
                text: page.now.toLocaleString(page.pageLocale, "d MMM yy, hh:mm:ss t")
                font.pixelSize: Theme.settingsTextPixels
                font.bold: true
            }

            HintLabel { text: manager.dynTr + qsTr("Timezone") }
            ComboBox {
                id: zoneBox
                objectName: "timezoneBox"
                Layout.fillWidth: true
                model: page.clock.timezones
                currentIndex: page.clock.timezones.indexOf(page.clock.timezone)
                onActivated: page.clock.timezone = currentText
            }

            HintLabel { text: manager.dynTr + qsTr("NTP server") }
            TextField {
                objectName: "ntpServerField"
                Layout.fillWidth: true
                text: page.clock.ntpServer
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoPredictiveText
                onAccepted: Qt.inputMethod.hide()
                onEditingFinished: page.clock.ntpServer = text
            }

            HintLabel { text: manager.dynTr + qsTr("NTP Active") }
            Switch {
                objectName: "ntpSwitch"
                Layout.alignment: Qt.AlignRight
                checked: page.clock.ntpEnabled
                onToggled: page.clock.ntpEnabled = checked
            }

            HintLabel { text: manager.dynTr + qsTr("NTP Synced") }
            StatusIndicator {
                objectName: "ntpSyncedLamp"
                Layout.alignment: Qt.AlignRight
                Layout.rightMargin: 14
                color: Theme.statusGood
                active: page.clock.ntpSynced
            }
        }
    }

    Button {
        id: syncButton
        objectName: "ntpSyncButton"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 10
        height: 70
        highlighted: true
        text: manager.dynTr + qsTr("NTP SYNC")
        onClicked: page.clock.ntpSync()
    }
}
