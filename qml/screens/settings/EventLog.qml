import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "technician.js" as Rules

// The device's event history, newest first, narrowed by a text search and a
// time period.
Item {
    id: page
    objectName: "eventLogPage"

    // The event log keeps its filters between visits; the page opens with an
    // empty search and the whole history, so the log must show exactly that.
    Component.onCompleted: {
        eventLogManager.applyFilter("")
        eventLogManager.applyFilterPeriod(Rules.periods[0])
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 10
        spacing: 6

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            Item {
                Layout.preferredWidth: 30
                Layout.preferredHeight: 30
                Image {
                    anchors.fill: parent
                    source: Theme.tinted("qrc:/qml/images/Icons/search.svg", Material.foreground)
                    sourceSize: Qt.size(30, 30)
                }
            }
            TextField {
                id: search
                objectName: "searchField"
                Layout.fillWidth: true
                placeholderText: manager.dynTr + qsTr("Search")
                inputMethodHints: Qt.ImhNoPredictiveText
                onTextChanged: eventLogManager.applyFilter(text)
            }
            Button {
                objectName: "clearSearchButton"
                text: "CLEAR"
                onClicked: {
                    search.text = ""
                    Qt.inputMethod.hide()
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ComboBox {
                objectName: "severityChoice"
                Layout.fillWidth: true
                model: Rules.severities
                currentIndex: Rules.severities.indexOf("All messages")
            }
            ComboBox {
                objectName: "periodChoice"
                Layout.fillWidth: true
                model: Rules.periods
                currentIndex: 0
                onActivated: {
                    eventLogManager.applyFilterPeriod(Rules.periods[index])
                    Qt.inputMethod.hide()
                }
            }
        }

        ListView {
            id: list
            objectName: "eventList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.maximumHeight: 600
            spacing: 5
            clip: true
            model: eventLogManager.data
            ScrollIndicator.vertical: ScrollIndicator {}

            delegate: MessageRowItem {
                id: entry
                property bool held: false
                width: list.width
                title: modelData.name
                message: modelData.description
                time: Qt.formatDateTime(modelData.timestamp, Rules.eventTimeFormat)
                isExpandable: true
                enableColorAnimation: true
                scale: held ? 0.95 : 1.0
                onPressed: held = true
                onReleased: held = false

                // A flick takes the press away without a release.
                Connections {
                    target: list
                    function onMovementStarted() { entry.held = false }
                }
            }
        }
    }
}
