import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "logic.js" as Logic

// The technician's settings area: a tool bar over a stack whose first page is the
// menu. Sub-pages are created when pushed and destroyed when popped.
Item {
    id: page
    objectName: "settingsPage"

    property string chosenTitle: ""
    readonly property string title: stack.depth > 1 ? chosenTitle : "Settings"
    readonly property alias stack: stack

    function openRow(index) {
        // One sub-page at a time: a second tap during the push transition is ignored.
        if (stack.depth > 1 || index < 0 || index >= Logic.menu.length)
            return
        chosenTitle = Logic.menu[index].title
        stack.push(Logic.pageFolder + Logic.menu[index].page)
    }

    function back() {
        stack.pop()
        Qt.inputMethod.hide()
    }

    function chooseHeaderItem(item) {
        var action = Logic.headerAction(item)
        if (action.kind === "scan") {
            configPopup.text = "Scan Configuration QR code"
            configPopup.open()
        } else if (action.kind === "confirm") {
            confirmPopup.command = action.command
            confirmPopup.open()
        } else if (action.kind === "logout") {
            manager.settingsLogoutRequest()
        }
    }

    function closeHeaderMenu() {
        if (headerMenu.item)
            headerMenu.item.close()
    }

    function reset() {
        stack.pop(null)
        closeHeaderMenu()
        confirmPopup.close()
        configPopup.close()
        Qt.inputMethod.hide()
    }

    // Built in the background while another screen may be in use: only a real show or
    // hide resets, or building this page would close the keyboard someone is typing on.
    property bool everShown: false
    onVisibleChanged: {
        if (visible)
            everShown = true
        if (everShown)
            reset()
    }

    Connections {
        target: manager
        function onBarcodeConfigurationApplied(configList) {
            configPopup.text = Logic.appliedText(configList)
            configPopup.open()
        }
    }

    ToolBar {
        id: bar
        objectName: "settingsBar"
        anchors.left: parent.left
        anchors.right: parent.right
        // A sub-page that marks itself fullPage (the colour test) gets the whole
        // screen while it is on top; the bar returns as soon as it is not.
        height: stack.currentItem && stack.currentItem.fullPage === true ? 0 : Theme.settingsBarHeight
        visible: height > 0
        onVisibleChanged: if (!visible) page.closeHeaderMenu()

        RowLayout {
            anchors.fill: parent
            spacing: 0

            ToolButton {
                objectName: "backButton"
                Layout.preferredWidth: 60
                Layout.fillHeight: true
                visible: stack.depth > 1
                onClicked: page.back()
                contentItem: Image {
                    height: 60
                    fillMode: Image.PreserveAspectFit
                    sourceSize: Qt.size(60, 60)
                    source: Theme.picture("qrc:/qml/images/Icons/chevron-left.svg")
                }
            }

            Label {
                objectName: "settingsTitle"
                Layout.fillWidth: true
                Layout.leftMargin: stack.depth > 1 ? 0 : 20
                text: page.title
                font.pixelSize: Theme.settingsTitlePixels
                elide: Label.ElideRight
                verticalAlignment: Qt.AlignVCenter
            }

            ToolButton {
                id: menuButton
                objectName: "menuButton"
                Layout.preferredWidth: 60
                Layout.fillHeight: true
                onClicked: {
                    headerMenu.active = true
                    headerMenu.item.open()
                }
                contentItem: Image {
                    fillMode: Image.Pad
                    source: Theme.picture("qrc:/qml/images/Icons/menu.png")
                }

                // Built on the first tap: until a technician opens it, the menu
                // and its items cost nothing.
                Loader {
                    id: headerMenu
                    active: false
                    sourceComponent: Menu {
                        objectName: "headerMenu"
                        x: menuButton.width - width
                        y: 0

                        Repeater {
                            model: Logic.headerMenu
                            MenuItem {
                                objectName: "headerMenu_" + modelData
                                text: modelData
                                onTriggered: page.chooseHeaderItem(modelData)
                            }
                        }
                    }
                }
            }
        }
    }

    StackView {
        id: stack
        objectName: "settingsStack"
        anchors.top: bar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true

        // The menu is built when the screen is first shown: until a technician
        // logs in, its rows and icons cost nothing.
        initialItem: Loader {
            active: page.everShown
            sourceComponent: ListView {
                id: menuList
                objectName: "settingsMenu"
                interactive: false
                model: Logic.menu
                delegate: RowButton {
                    objectName: "menuRow_" + modelData.title
                    width: menuList.width
                    height: menuList.height / 8
                    title: modelData.title
                    description: modelData.description
                    rowIcon: Logic.iconFolder + modelData.icon
                    onClicked: page.openRow(index)
                }
            }
        }
    }

    CustomPopup {
        id: confirmPopup
        objectName: "confirmPopup"
        property string command: ""
        isDialog: true
        retranslate: manager.dynTr
        text: manager.dynTr + qsTr("Are you sure?")
        onButtonYesPressed: {
            var slot = Logic.commandSlot(command)
            if (slot !== "")
                manager[slot]()
        }
    }

    // The maintenance barcode is read while this is open.
    CustomPopup {
        id: configPopup
        objectName: "configPopup"
        isDialog: false
        retranslate: manager.dynTr
        onOpened: validatorManager.enableBarcode()
        onClosed: manager.diagnostics.session.releaseBarcodeReader()
    }

    KeyboardPanel {
        owner: "Settings"
    }
}
