import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import "."
import "logic.js" as Logic

// A 4 × 3 keypad. Digit keys report through calcNumberPressed; the keys at
// positions 10 (left arrow) and 12 ("CLR") through customLeftPressed and
// customRightPressed, so the hosting page decides what they do.
Item {
    id: root

    property real btnWidth: 118
    property real btnHeight: 70
    property bool phoneLayout: true
    property bool overrideModel: false
    property var customModel: []
    property string clearLabel: qsTr("CLR") + retranslate
    // The host passes manager.dynTr so the labels follow a language switch.
    property string retranslate: ""
    property NumberPadStyle style: NumberPadStyle {
        dark: Material.theme !== Material.Light
    }
    readonly property var labels: overrideModel ? customModel : Logic.keyLabels(phoneLayout, clearLabel)
    // Key positions (1-based) currently disabled.
    property var disabledKeys: []

    signal calcNumberPressed(string label)
    signal customLeftPressed(string label)
    signal customRightPressed(string label)

    // enable true: all keys on except those listed; false with an empty list: all off.
    function controlButtons(enable, positions) {
        if (enable) {
            disabledKeys = positions ? positions.slice() : []
        } else {
            var all = []
            for (var i = 1; i <= 12; ++i)
                all.push(i)
            disabledKeys = (positions && positions.length > 0) ? positions.slice() : all
        }
    }

    function keyAt(position) {
        return repeater.itemAt(position - 1)
    }

    width: btnWidth * 3 + 6 * 3 - 1
    height: btnHeight * 4 + 7 * 4 - 1

    Grid {
        rows: 4
        columns: 3
        columnSpacing: 6
        rowSpacing: 7

        Repeater {
            id: repeater
            model: root.labels

            CustomButton {
                readonly property int position: index + 1
                readonly property bool functionKey: position === 10 || position === 12
                objectName: "numberPadKey" + position
                width: root.btnWidth
                height: root.btnHeight
                flat: true
                radius: root.style.radius
                text: modelData
                color: functionKey ? root.style.functionKeyColor : root.style.keyColor
                colorPressed: Qt.darker(color, root.style.pressedDarkness)
                fillColor: color
                borderColor: root.style.keyBorderColor
                borderWidth: root.style.keyBorderWidth
                textColor: root.style.keyTextColor
                textFontFamily: root.style.fontFamily
                textFontPointSize: root.style.fontPointSize
                textFontWeight: Font.Medium
                enabled: root.disabledKeys.indexOf(position) < 0
                onClicked: {
                    switch (Logic.keyRole(position)) {
                    case "left":
                        root.customLeftPressed(modelData)
                        break
                    case "right":
                        root.customRightPressed(modelData)
                        break
                    default:
                        root.calcNumberPressed(modelData)
                    }
                }
            }
        }
    }
}
