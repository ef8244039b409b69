import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "logic.js" as Logic

// What the validator service reports about itself and its readers.
Item {
    id: page
    objectName: "validatorPage"

    readonly property var rfid: validatorManager.rfid
    readonly property var sam: rfid ? rfid.sam : null
    readonly property var barcode: validatorManager.barcode
    readonly property color statusColor: {
        switch (Logic.validatorStatusClass(validatorManager.status)) {
        case "warn": return Theme.statusWarn
        case "bad": return Theme.statusBad
        }
        return Theme.statusGood
    }

    function yesNo(flag) { return flag ? "true" : "false" }

    Flickable {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: configure.top
        anchors.bottomMargin: 10
        contentHeight: groups.height + 20
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollIndicator.vertical: ScrollIndicator {}

        ColumnLayout {
            id: groups
            x: 10
            y: 10
            width: parent.width - 20
            spacing: 8

            GroupBox {
                Layout.fillWidth: true
                title: manager.dynTr + qsTr("Validator")
                ColumnLayout {
                    anchors.fill: parent
                    InfoRow { label: manager.dynTr + qsTr("Serial Number"); value: manager.deviceId }
                    InfoRow { label: manager.dynTr + qsTr("Pole ID"); value: board.poleId }
                    InfoRow { label: manager.dynTr + qsTr("Vehicle"); value: validatorManager.vehicle }
                    InfoRow { label: manager.dynTr + qsTr("Version"); value: validatorManager.version }
                    InfoRow {
                        objectName: "statusRow"
                        label: manager.dynTr + qsTr("Status")
                        value: validatorManager.status
                        valueColor: page.statusColor
                    }
                    InfoRow {
                        label: manager.dynTr + qsTr("Reason")
                        value: validatorManager.reason
                        valueColor: page.statusColor
                    }
                }
            }

            GroupBox {
                Layout.fillWidth: true
                title: manager.dynTr + qsTr("RFID")
                ColumnLayout {
                    anchors.fill: parent
                    InfoRow { label: manager.dynTr + qsTr("Firmware"); value: page.rfid.firmware }
                    InfoRow {
                        label: manager.dynTr + qsTr("Model")
                        value: page.rfid.model + " " + page.rfid.manufacturer
                    }
                    InfoRow { label: manager.dynTr + qsTr("UID"); value: page.rfid.deviceUid }
                    InfoRow { label: manager.dynTr + qsTr("State"); value: page.rfid.state }
                    InfoRow { label: manager.dynTr + qsTr("Error"); value: page.rfid.error }
                }
            }

            GroupBox {
                Layout.fillWidth: true
                title: manager.dynTr + qsTr("Barcode")
                ColumnLayout {
                    anchors.fill: parent
                    InfoRow { label: manager.dynTr + qsTr("Firmware"); value: page.barcode.firmware }
                    InfoRow {
                        label: manager.dynTr + qsTr("Model")
                        value: page.barcode.model + " " + page.barcode.manufacturer
                    }
                    InfoRow { label: manager.dynTr + qsTr("Active"); value: page.yesNo(page.barcode.active) }
                    InfoRow { label: manager.dynTr + qsTr("Enabled"); value: page.yesNo(page.barcode.enabled) }
                }
            }

            GroupBox {
                Layout.fillWidth: true
                title: manager.dynTr + qsTr("SAM")
                ColumnLayout {
                    anchors.fill: parent
                    InfoRow { label: manager.dynTr + qsTr("Slot"); value: page.sam ? page.sam.slot : "" }
                    InfoRow { label: manager.dynTr + qsTr("Name"); value: page.sam ? page.sam.name : "" }
                    InfoRow { label: manager.dynTr + qsTr("Version"); value: page.sam ? page.sam.version : "" }
                    InfoRow { label: manager.dynTr + qsTr("UID"); value: page.sam ? page.sam.uid : "" }
                    InfoRow { label: manager.dynTr + qsTr("Mode"); value: page.sam ? page.sam.mode : "" }
                    InfoRow { label: manager.dynTr + qsTr("Unlocked"); value: page.sam ? page.yesNo(page.sam.unlocked) : "" }
                    InfoRow {
                        label: manager.dynTr + qsTr("Production")
                        value: page.sam ? Qt.formatDate(page.sam.production, "yyyy-MM-dd") : ""
                    }
                }
            }
        }
    }

    Button {
        id: configure
        objectName: "configureButton"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 10
        height: parent.height / 10
        highlighted: true
        text: "Configure"
        onClicked: page.StackView.view.push(Logic.pageFolder + "ValidatorConfig.qml")
    }
}
