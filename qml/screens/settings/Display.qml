import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "logic.js" as Logic
import "../../controls"

// Backlight, cursor, theme and the display-off delay. The board reports its
// sensor and backlight every second while this page exists.
Item {
    id: page
    objectName: "displayPage"

    readonly property var window: ApplicationWindow.window

    Component.onCompleted: board.monitor(1000)
    Component.onDestruction: board.monitor(0)

    Flickable {
        anchors.fill: parent
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

            HintLabel { text: manager.dynTr + qsTr("Brightness Mode") }
            ComboBox {
                id: modeBox
                objectName: "brightnessModeBox"
                Layout.fillWidth: true
                model: Logic.brightnessModes
                currentIndex: Math.max(0, Logic.brightnessModes.indexOf(board.displayBrightnessMode))
                onActivated: board.setDisplayBrightnessMode(currentText)
            }

            HintLabel { text: manager.dynTr + qsTr("Display Brightness") }
            Label {
                objectName: "brightnessPercent"
                Layout.alignment: Qt.AlignRight
                text: Logic.percent(brightness.value)
                font.pixelSize: Theme.settingsTextPixels
                font.bold: true
            }
            Slider {
                id: brightness
                objectName: "brightnessSlider"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                from: 0
                to: 100
                enabled: modeBox.currentText === "manual"
                value: board.displayBrightness
                ToolTip.visible: pressed
                ToolTip.text: Logic.percent(value)
                onPressedChanged: if (!pressed) board.setDisplayBrightness(Math.round(value))
            }

            HintLabel { text: manager.dynTr + qsTr("Ambient Light Sensor") }
            Label {
                objectName: "ambientLight"
                Layout.alignment: Qt.AlignRight
                text: board.ambientLightSensor
                font.pixelSize: Theme.settingsTextPixels
                font.bold: true
            }

            HintLabel { text: manager.dynTr + qsTr("Show Cursor") }
            Switch {
                objectName: "cursorSwitch"
                Layout.alignment: Qt.AlignRight
                checked: manager.showCursor
                onToggled: manager.showCursor = checked
            }

            HintLabel { text: manager.dynTr + qsTr("Dark Theme") }
            Switch {
                objectName: "darkThemeSwitch"
                Layout.alignment: Qt.AlignRight
                checked: page.window ? page.window.Material.theme === Material.Dark : true
                onToggled: {
                    if (!page.window)
                        return
                    console.log(checked ? "[QML] Switching to dark theme" : "[QML] Switching to light theme")
                    page.window.Material.theme = checked ? Material.Dark : Material.Light
                }
            }

            HintLabel {
                text: manager.dynTr + qsTr("Display OFF (min)")
                hint: "The interval, in minutes, after which \n"
                      + "the display will turn off , if in Out-\n"
                      + "of-Order or Out-of-Service state."
            }
            SpinBox {
                objectName: "displayOffBox"
                Layout.alignment: Qt.AlignRight
                Layout.preferredWidth: 200
                editable: true
                from: 0
                to: 86400
                stepSize: 1
                value: manager.displayOffMin
                onValueChanged: manager.displayOffMin = value
            }
        }
    }
}
