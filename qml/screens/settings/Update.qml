import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "technician.js" as Rules

// The device's software versions and the update the device service is fetching
// or installing.
Item {
    id: page
    objectName: "updatePage"

    readonly property var update: manager.update

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 20
        spacing: 8

        StatusRow {
            objectName: "updateStatusRow"
            Layout.fillWidth: true
            title: manager.dynTr + qsTr("Status")
            value: page.update.status
            valueClass: Rules.updateStatusClass(value)
        }
        StatusRow {
            Layout.fillWidth: true
            title: manager.dynTr + qsTr("Current Version")
            value: Rules.versionText(page.update.current)
        }
        StatusRow {
            Layout.fillWidth: true
            title: manager.dynTr + qsTr("Pending Version")
            value: Rules.versionText(page.update.pending)
        }

        Label {
            Layout.topMargin: 12
            text: manager.dynTr + qsTr("Progress")
            font.pixelSize: Theme.settingsTextPixels
            opacity: 0.8
        }
        ProgressBar {
            objectName: "updateProgress"
            Layout.fillWidth: true
            from: 0
            to: 100
            value: page.update.progressPercent
        }
        Label {
            objectName: "updateProgressMessage"
            Layout.fillWidth: true
            text: page.update.progressMessage
            font.pixelSize: Theme.settingsSmallPixels
            opacity: 0.8
            wrapMode: Text.WordWrap
        }
    }

    RowLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 20
        spacing: 20

        Button {
            objectName: "checkButton"
            Layout.fillWidth: true
            Layout.preferredHeight: 60
            text: "Check"
            onClicked: page.update.check()
        }
        Button {
            objectName: "installButton"
            Layout.fillWidth: true
            Layout.preferredHeight: 60
            highlighted: true
            enabled: Rules.canInstall(page.update.status)
            text: "Install"
            onClicked: page.update.install()
        }
    }
}
