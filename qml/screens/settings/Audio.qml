import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "logic.js" as Logic
import "../../controls"

// Sound on or off, and its volume.
Item {
    id: page
    objectName: "audioPage"

    ColumnLayout {
        x: 20
        y: 20
        width: parent.width - 40
        spacing: 20

        RowLayout {
            Layout.fillWidth: true
            HintLabel {
                Layout.fillWidth: true
                text: manager.dynTr + qsTr("Audio Enabled")
            }
            Switch {
                id: audioSwitch
                objectName: "audioSwitch"
                checked: board.audioEnabled
                onToggled: board.setAudioEnabled(checked)
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            enabled: audioSwitch.checked
            spacing: 8

            RowLayout {
                Layout.fillWidth: true
                HintLabel {
                    Layout.fillWidth: true
                    text: manager.dynTr + qsTr("Audio Volume")
                }
                Label {
                    objectName: "volumePercent"
                    text: Logic.percent(volume.value)
                    font.pixelSize: Theme.settingsTextPixels
                    font.bold: true
                }
            }
            Slider {
                id: volume
                objectName: "volumeSlider"
                Layout.fillWidth: true
                from: 0
                to: 100
                value: inspector.audioVolume
                ToolTip.visible: pressed
                ToolTip.text: Logic.percent(value)
                onPressedChanged: {
                    if (pressed)
                        return
                    // The test sound plays at the volume just chosen.
                    inspector.setAudioVolume(Math.round(value))
                    inspector.audioPlay("/opt/vexa/ticora/Valid.wav")
                }
            }
        }
    }
}
