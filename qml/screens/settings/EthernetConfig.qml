import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "technician.js" as Rules

// How the Ethernet port gets its address: automatically, or the five settings
// typed here. The mode is written as soon as it is chosen; the settings only
// travel with Save, after the same checks the service would make.
Item {
    id: page
    objectName: "ethernetConfigPage"

    readonly property var ethernet: network.ethernet
    readonly property bool manual: ethernet.method === "manual"
    // The mode the device had when the page opened; leaving without Save puts it back.
    property string openedWith: ""
    property var chosen: null
    property bool saved: false
    readonly property int labelWidth: 140

    Component.onCompleted: openedWith = ethernet.method

    StackView.onRemoved: {
        var restore = Rules.methodToRestore(openedWith, chosen, ethernet.method, saved)
        if (restore !== null)
            ethernet.method = restore
    }

    function field(key) {
        for (var i = 0; i < fields.count; ++i) {
            if (fields.itemAt(i).key === key)
                return fields.itemAt(i)
        }
        return null
    }

    function leave() {
        if (page.StackView.view)
            page.StackView.view.pop()
    }

    function save() {
        Qt.inputMethod.hide()
        var texts = {}
        for (var i = 0; i < Rules.ethernetFields.length; ++i) {
            var key = Rules.ethernetFields[i].key
            texts[key] = field(key).text
        }
        var problem = ethernet.checkConfig(ethernet.method, texts.address, texts.mask, texts.gateway,
                                           texts.dns0, texts.dns1)
        if (problem !== "") {
            messagePopup.text = problem
            messagePopup.open()
            return
        }
        var config = ethernet.config
        config.address = texts.address
        config.mask = texts.mask
        config.gateway = texts.gateway
        config.dns0 = texts.dns0
        config.dns1 = texts.dns1
        saved = true
        ethernet.save()
        leave()
    }

    function back() {
        Qt.inputMethod.hide()
        leave()
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 20
        spacing: 6

        Label {
            text: "Ethernet Configuration"
            font.pointSize: Theme.fieldPoints
            color: Material.accent
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 16

            Label {
                Layout.preferredWidth: page.labelWidth
                text: "Mode"
                font.pixelSize: Theme.settingsTextPixels
            }
            ComboBox {
                objectName: "modeChoice"
                Layout.fillWidth: true
                model: Rules.ethernetModes
                currentIndex: Rules.ethernetModes.indexOf(page.ethernet.method)
                onActivated: {
                    page.chosen = Rules.ethernetModes[index]
                    page.ethernet.method = page.chosen
                }
            }
        }

        Repeater {
            id: fields
            model: Rules.ethernetFields

            delegate: RowLayout {
                Layout.fillWidth: true
                spacing: 16

                readonly property string key: modelData.key
                property alias text: input.text
                property alias invalid: input.invalid

                Label {
                    Layout.preferredWidth: page.labelWidth
                    text: modelData.label
                    font.pixelSize: Theme.settingsTextPixels
                    opacity: page.manual ? 1 : 0.5
                }
                TextField {
                    id: input
                    objectName: "field_" + modelData.key
                    property bool invalid: false
                    Layout.fillWidth: true
                    enabled: page.manual
                    text: page.ethernet.config[modelData.key]
                    inputMethodHints: Qt.ImhFormattedNumbersOnly | Qt.ImhNoPredictiveText
                    color: invalid ? Theme.hintError : Material.foreground
                    onEditingFinished: invalid = !page.ethernet.isValidAddress(text)
                }
            }
        }
    }

    RowLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 20
        spacing: 20

        Button {
            objectName: "ethernetBackButton"
            Layout.fillWidth: true
            Layout.preferredHeight: 60
            text: "Back"
            onClicked: page.back()
        }
        Button {
            objectName: "ethernetSaveButton"
            Layout.fillWidth: true
            Layout.preferredHeight: 60
            highlighted: true
            text: "Save"
            onClicked: page.save()
        }
    }

    CustomPopup {
        id: messagePopup
        objectName: "ethernetMessage"
        isDialog: false
    }
}
