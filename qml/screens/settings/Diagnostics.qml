import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "diagnostics.js" as Logic

// The technician's self-test: the automatic results of the diagnostics object,
// the interactive checks answered in pop-ups, the serial port choice and the
// saved report with its QR code. Created on each visit, destroyed when left.
Item {
    id: page
    objectName: "diagnosticsPage"

    readonly property var diagnostics: manager.diagnostics
    // Owns what the open checks switch on and undoes it when the visit ends.
    readonly property var session: diagnostics.session
    readonly property var stackView: page.StackView.view

    // Grid order; labels are translated where they are shown.
    readonly property var checks: [
        { "name": "buzzer", "label": QT_TR_NOOP("Buzzer"), "result": "buzzer" },
        { "name": "leds", "label": QT_TR_NOOP("LEDs"), "result": "leds" },
        { "name": "rfid", "label": QT_TR_NOOP("RFID"), "result": "cardScan" },
        { "name": "barcode", "label": QT_TR_NOOP("Barcode"), "result": "barcodeScan" },
        { "name": "speaker", "label": QT_TR_NOOP("Speaker"), "result": "speaker" },
        { "name": "sensor", "label": QT_TR_NOOP("Sensor"), "result": "lightSensor" },
        { "name": "rgb", "label": QT_TR_NOOP("RGB"), "result": "rgbTest" },
        { "name": "serial", "label": QT_TR_NOOP("Serial"), "result": "" },
        { "name": "finish", "label": QT_TR_NOOP("FINISH"), "result": "" }
    ]

    function resultColour(value) {
        switch (Logic.resultClass(value)) {
        case "ok": return Theme.statusGood
        case "error": return Theme.statusBad
        case "other": return Theme.statusWarn
        }
        return Theme.statusNone
    }

    function runCheck(name) {
        switch (name) {
        case "buzzer": buzzerDialog.open(); break
        case "leds": ledsDialog.open(); break
        case "rfid": cardPopup.open(); break
        case "barcode": barcodePopup.open(); break
        case "speaker": speakerDialog.open(); break
        case "sensor": sensorDialog.open(); break
        case "rgb": startColourTest(); break
        case "serial": serialPopup.open(); break
        case "finish": diagnostics.saveReport(); break
        }
    }

    function startColourTest() {
        if (stackView)
            stackView.push(colourTest)
    }
    function endColourTest() {
        if (stackView)
            stackView.pop()
        if (session.active)
            rgbDialog.open()
    }

    // The visit ended in the middle of a check (back button, log-out, session expiry,
    // ignition off): no pop-up of it may stay open.
    function closePopups() {
        var popups = [buzzerDialog, ledsDialog, speakerDialog, sensorDialog, rgbDialog,
                      cardPopup, barcodePopup, serialPopup, reportPopup]
        for (var i = 0; i < popups.length; ++i)
            popups[i].close()
    }

    Component.onCompleted: session.begin()
    Component.onDestruction: session.end()

    Connections {
        target: page.session
        function onActiveChanged() {
            if (!page.session.active)
                page.closePopups()
        }
    }

    Connections {
        target: validatorManager
        function onCardDetected(uid, type) {
            cardPopup.text = Logic.cardDetectedText(uid, type)
        }
        function onCardRemoved() {
            cardPopup.text = Logic.tapCardText
        }
        function onTicketValidated() {
            barcodePopup.close()
        }
    }

    Connections {
        target: page.diagnostics
        function onSaveReportFinished(result, message) {
            reportPopup.saved = result
            reportPopup.text = message
            reportPopup.imageSource = result ? page.diagnostics.generateQr() : ""
            reportPopup.open()
        }
    }

    ListView {
        id: resultList
        objectName: "resultList"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: checkGrid.top
        anchors.topMargin: 10
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        anchors.bottomMargin: 20
        clip: true
        interactive: contentHeight > height
        boundsBehavior: Flickable.StopAtBounds
        model: Logic.results

        delegate: Item {
            id: row
            objectName: "result_" + modelData.property
            readonly property string value: page.diagnostics[modelData.property]
            readonly property color valueColour: page.resultColour(value)
            width: resultList.width
            height: Math.max(24, Math.floor(resultList.height / Logic.results.length))

            Rectangle {
                id: lamp
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                width: 12
                height: 12
                radius: 6
                color: row.valueColour
            }
            Label {
                anchors.left: lamp.right
                anchors.leftMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                text: modelData.title
                font.pixelSize: 17
            }
            Label {
                objectName: "value"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width / 2
                horizontalAlignment: Text.AlignRight
                elide: Text.ElideLeft
                text: row.value
                color: row.valueColour
                font.pixelSize: 17
                font.bold: true
            }
            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: Theme.diagnosticsRule
            }
        }
    }

    GridLayout {
        id: checkGrid
        objectName: "checkGrid"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        anchors.bottomMargin: 20
        columns: 3
        rowSpacing: 10
        columnSpacing: 10

        Repeater {
            model: page.checks

            CustomButton {
                readonly property bool finish: modelData.name === "finish"
                readonly property bool highlight: finish
                    || (modelData.name === "rfid" && validatorManager.rfid.enabled)
                objectName: "check_" + modelData.name
                Layout.preferredWidth: (checkGrid.width - 2 * checkGrid.columnSpacing) / 3
                Layout.preferredHeight: Math.round(page.height * 0.08)
                radius: 4
                color: finish ? Material.accent
                    : page.resultColour(modelData.result === "" ? "" : page.diagnostics[modelData.result])
                borderColor: highlight && !finish ? Material.accent : "transparent"
                borderWidth: highlight && !finish ? 4 : 0
                textColor: finish ? "white" : Theme.diagnosticsButtonText
                textFontPixelSize: 18
                textBold: true
                text: manager.dynTr + qsTr(modelData.label)
                onClicked: page.runCheck(modelData.name)
            }
        }
    }

    Component {
        id: colourTest

        Rectangle {
            id: colourPage
            objectName: "colourTest"
            // The settings header folds away while this is the page on show.
            readonly property bool fullPage: true
            property int step: 0
            color: Logic.testColours[step]

            MouseArea {
                anchors.fill: parent
                onClicked: {
                    var next = Logic.nextColourStep(colourPage.step)
                    if (next < 0)
                        page.endColourTest()
                    else
                        colourPage.step = next
                }
            }
        }
    }

    CustomPopup {
        id: buzzerDialog
        objectName: "buzzerDialog"
        isDialog: true
        retranslate: manager.dynTr
        text: "Can you hear the buzzer?"
        onOpened: board.playBuzzer(100, 200, 3)
        onButtonYesPressed: page.session.answer("buzzer", true)
        onButtonNoPressed: page.session.answer("buzzer", false)
    }

    CustomPopup {
        id: ledsDialog
        objectName: "ledsDialog"
        isDialog: true
        retranslate: manager.dynTr
        text: "Can you see the LEDs flashing?"
        onOpened: page.session.startLeds()
        onClosed: page.session.stopLeds()
        onButtonYesPressed: page.session.answer("leds", true)
        onButtonNoPressed: page.session.answer("leds", false)
    }

    CustomPopup {
        id: speakerDialog
        objectName: "speakerDialog"
        isDialog: true
        retranslate: manager.dynTr
        text: "Can you hear the internal speaker?"
        onOpened: inspector.audioPlay("/opt/vexa/ticora/Valid.wav")
        onButtonYesPressed: page.session.answer("speaker", true)
        onButtonNoPressed: page.session.answer("speaker", false)
    }

    CustomPopup {
        id: sensorDialog
        objectName: "sensorDialog"
        isDialog: true
        retranslate: manager.dynTr
        windowHeight: 240
        text: Logic.sensorText(board.displayBrightness, board.ambientLightSensor)
        onOpened: page.session.startLightSensor()
        onClosed: page.session.stopLightSensor()
        onButtonYesPressed: page.session.answer("lightSensor", true)
        onButtonNoPressed: page.session.answer("lightSensor", false)
    }

    CustomPopup {
        id: rgbDialog
        objectName: "rgbDialog"
        isDialog: true
        retranslate: manager.dynTr
        text: "Was the RGB test successful?"
        onButtonYesPressed: page.session.answer("rgbTest", true)
        onButtonNoPressed: page.session.answer("rgbTest", false)
    }

    CustomPopup {
        id: cardPopup
        objectName: "cardPopup"
        retranslate: manager.dynTr
        text: Logic.tapCardText
        onAboutToShow: text = Logic.tapCardText
        onOpened: page.session.startCardReader()
        onClosed: page.session.stopCardReader()
    }

    CustomPopup {
        id: barcodePopup
        objectName: "barcodePopup"
        retranslate: manager.dynTr
        text: Logic.scanBarcodeText
        onOpened: page.session.startBarcodeReader()
        onClosed: page.session.stopBarcodeReader()
    }

    // The saved report's name, or why it could not be saved; after a successful
    // save the QR code a phone reads the summary from, and closing it ends the visit.
    CustomPopup {
        id: reportPopup
        objectName: "reportPopup"
        property bool saved: false
        retranslate: manager.dynTr
        windowWidth: 440
        // Room for the QR code with its white margin under two lines of text.
        windowHeight: hasImage ? Theme.reportQrSize + 56 : 200
        imageSize: Qt.size(Theme.reportQrSize, Theme.reportQrSize)
        imageBackground: "white"
        onClosed: {
            if (saved && page.session.active && page.stackView)
                page.stackView.pop()
        }
    }

    Popup {
        id: serialPopup
        objectName: "serialPopup"
        parent: Overlay.overlay
        modal: true
        focus: true
        closePolicy: Popup.CloseOnEscape
        x: Math.round((parent.width - width) / 2)
        y: Math.round(parent.height / 6)
        width: Math.round(Math.min(parent.width, parent.height) * 2 / 3)

        function preset() {
            var port = Logic.portChoice(page.diagnostics.serialPorts, page.diagnostics.serialPort)
            if (port >= 0)
                portBox.currentIndex = port
            flowBox.currentIndex = Logic.flowChoice(page.diagnostics.serialFlowCtrl)
        }

        onAboutToShow: preset()

        ColumnLayout {
            anchors.fill: parent
            spacing: 12

            Label {
                Layout.fillWidth: true
                text: "Serial Port Settings"
                font.bold: true
                font.pixelSize: 20
                horizontalAlignment: Text.AlignHCenter
            }

            GridLayout {
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 12

                Label { text: "Serial Port:" }
                ComboBox {
                    id: portBox
                    objectName: "serialPortBox"
                    Layout.fillWidth: true
                    model: page.diagnostics.serialPorts
                    // A new list resets the choice; show the stored port again.
                    onModelChanged: {
                        var port = Logic.portChoice(model, page.diagnostics.serialPort)
                        if (port >= 0)
                            currentIndex = port
                    }
                }

                Label { text: "Flow Ctrl:" }
                ComboBox {
                    id: flowBox
                    objectName: "flowControlBox"
                    Layout.fillWidth: true
                    model: Logic.flowControls
                }
            }

            Label {
                objectName: "serialPortDescription"
                Layout.fillWidth: true
                text: page.diagnostics.serialPortDescr(portBox.currentText)
                wrapMode: Text.WordWrap
                opacity: 0.7
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                Button {
                    objectName: "serialOk"
                    Layout.fillWidth: true
                    highlighted: true
                    text: manager.dynTr + qsTr("Ok")
                    onClicked: {
                        page.diagnostics.serialPort = portBox.currentText
                        page.diagnostics.serialFlowCtrl = flowBox.currentIndex
                        serialPopup.close()
                    }
                }
                Button {
                    objectName: "serialCancel"
                    Layout.fillWidth: true
                    text: manager.dynTr + qsTr("Cancel")
                    onClicked: {
                        serialPopup.preset()
                        serialPopup.close()
                    }
                }
            }
        }
    }
}
