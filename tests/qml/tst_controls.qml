import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.2
import "qrc:/qml/controls"

Item {
    id: root
    width: 480
    height: 800

    Component { id: clockComponent; Clock {} }
    Component { id: popupComponent; CustomPopup {} }
    Component { id: padComponent; NumberPad {} }
    Component { id: buttonComponent; CustomButton { width: 200; height: 80 } }
    Component { id: rowComponent; MessageRowItem { width: 400 } }
    Component { id: headerComponent; Header {} }
    Component { id: signalSpy; SignalSpy {} }

    TestCase {
        name: "Controls"
        when: windowShown

        function spyOn(target, signalName) {
            return createTemporaryObject(signalSpy, root, { "target": target, "signalName": signalName })
        }

        // --- Clock: the technician gesture ---

        function test_clockThreeTapsWithinASecondOpenTheLogin() {
            var clock = createTemporaryObject(clockComponent, root)
            var hold = spyOn(clock, "pressAndHold")
            var clicks = spyOn(clock, "clicked")
            mouseClick(clock)
            mouseClick(clock)
            mouseClick(clock)
            compare(clock.tapCount, 3)
            tryCompare(hold, "count", 1, 10000)
            compare(clock.tapCount, 0)
            compare(clicks.count, 3)
        }

        function test_clockTwoTapsDoNothing() {
            var clock = createTemporaryObject(clockComponent, root)
            var hold = spyOn(clock, "pressAndHold")
            mouseClick(clock)
            mouseClick(clock)
            compare(clock.tapCount, 2)
            tryCompare(clock, "tapCount", 0, 10000)
            compare(hold.count, 0)
            // A fresh window starts from zero.
            mouseClick(clock)
            compare(clock.tapCount, 1)
            tryCompare(clock, "tapCount", 0, 10000)
            compare(hold.count, 0)
        }

        function test_clockLongPress() {
            var clock = createTemporaryObject(clockComponent, root, { "longPressMsec": 200 })
            var hold = spyOn(clock, "pressAndHold")
            mousePress(clock)
            tryCompare(hold, "count", 1, 10000)
            // The press that became a hold counts as no tap.
            compare(clock.tapCount, 0)
            mouseRelease(clock)
            wait(0)
            compare(hold.count, 1)
        }

        function test_clockShowsDateAndTimeInItsFormats() {
            var clock = createTemporaryObject(clockComponent, root,
                                              { "dateFormat": "yyyy", "timeFormat": "hh" })
            var date = findChild(clock, "clockDate")
            var time = findChild(clock, "clockTime")
            tryCompare(date, "text", String(new Date().getFullYear()), 10000)
            compare(time.text.length, 2)
        }

        function test_headerGestureAndLanguage() {
            var header = createTemporaryObject(headerComponent, root, { "language": "el_GR" })
            var magic = spyOn(header, "magicButtonPressed")
            var lang = spyOn(header, "languageSelected")
            var clock = findChild(header, "headerClock")
            mouseClick(clock)
            mouseClick(clock)
            mouseClick(clock)
            tryCompare(magic, "count", 1, 10000)
            mouseClick(findChild(header, "languageButton"))
            compare(lang.count, 1)
            compare(lang.signalArguments[0][0], "en_IE")
            header.language = "en_IE"
            mouseClick(findChild(header, "languageButton"))
            compare(lang.signalArguments[1][0], "el_GR")
        }

        // --- CustomPopup: closing rules ---

        function test_plainPopupClosesOnTapInside() {
            var popup = createTemporaryObject(popupComponent, root, { "text": "Broker lost" })
            popup.open()
            tryCompare(popup, "opened", true, 10000)
            mouseClick(findChild(popup.contentItem, "popupText"))
            tryCompare(popup, "visible", false, 10000)
        }

        function test_plainPopupClosesOnReleaseOutside() {
            var popup = createTemporaryObject(popupComponent, root, { "text": "Broker lost" })
            popup.open()
            tryCompare(popup, "opened", true, 10000)
            mouseClick(root, 5, 5)
            tryCompare(popup, "visible", false, 10000)
        }

        function test_dialogClosesOnlyThroughItsButtons() {
            var popup = createTemporaryObject(popupComponent, root, { "isDialog": true, "text": "Sure?" })
            var yes = spyOn(popup, "buttonYesPressed")
            var no = spyOn(popup, "buttonNoPressed")
            popup.open()
            tryCompare(popup, "opened", true, 10000)
            mouseClick(root, 5, 5)
            mouseClick(findChild(popup.contentItem, "popupText"))
            keyClick(Qt.Key_Escape)
            wait(50)
            verify(popup.visible)
            mouseClick(findChild(popup.contentItem, "popupNo"))
            tryCompare(popup, "visible", false, 10000)
            compare(no.count, 1)
            compare(yes.count, 0)

            popup.open()
            tryCompare(popup, "opened", true, 10000)
            mouseClick(findChild(popup.contentItem, "popupYes"))
            tryCompare(popup, "visible", false, 10000)
            compare(yes.count, 1)
            compare(no.count, 1)
        }

        function test_popupGrowsForAnImage() {
            var popup = createTemporaryObject(popupComponent, root)
            compare(popup.width, 400)
            compare(popup.height, 200)
            popup.imageSource = "qrc:/qml/images/Icons/vexa.png"
            compare(popup.height, 300)
        }

        // --- NumberPad ---

        // The grid places its keys on the next polish; wait until it has.
        function createPad(properties) {
            var pad = createTemporaryObject(padComponent, root, properties || {})
            settle(pad)
            return pad
        }

        // Changing the layout or the model rebuilds the keys.
        function settle(pad) {
            tryVerify(function() { return findChild(pad, "numberPadKey12").y > 0 }, 10000)
        }

        function labelsOf(pad) {
            var labels = []
            for (var i = 1; i <= 12; ++i)
                labels.push(findChild(pad, "numberPadKey" + i).text)
            return labels.join(" ")
        }

        function test_numberPadLayouts() {
            var pad = createPad()
            compare(labelsOf(pad), "1 2 3 4 5 6 7 8 9 \u2190 0 CLR")
            pad.phoneLayout = false
            settle(pad)
            compare(labelsOf(pad), "7 8 9 4 5 6 1 2 3 \u2190 0 CLR")
            compare(pad.width, 118 * 3 + 6 * 3 - 1)
            compare(pad.height, 70 * 4 + 7 * 4 - 1)
            // Key positions in the grid follow the order row by row.
            var k1 = findChild(pad, "numberPadKey1"), k3 = findChild(pad, "numberPadKey3")
            var k4 = findChild(pad, "numberPadKey4")
            verify(k3.x > k1.x && k3.y === k1.y)
            verify(k4.y > k1.y && k4.x === k1.x)
        }

        function test_numberPadCallbacks() {
            var pad = createPad({ "phoneLayout": false })
            var numbers = spyOn(pad, "calcNumberPressed")
            var left = spyOn(pad, "customLeftPressed")
            var right = spyOn(pad, "customRightPressed")
            mouseClick(findChild(pad, "numberPadKey1"))
            mouseClick(findChild(pad, "numberPadKey11"))
            mouseClick(findChild(pad, "numberPadKey10"))
            mouseClick(findChild(pad, "numberPadKey12"))
            compare(numbers.count, 2)
            compare(numbers.signalArguments[0][0], "7")
            compare(numbers.signalArguments[1][0], "0")
            compare(left.count, 1)
            compare(left.signalArguments[0][0], "\u2190")
            compare(right.count, 1)
            compare(right.signalArguments[0][0], "CLR")
        }

        function test_numberPadCustomModelAndDisabledKeys() {
            var pad = createPad()
            pad.customModel = ["a", "b", "c", "d", "e", "f", "g", "h", "i", "back", "j", "ok"]
            pad.overrideModel = true
            settle(pad)
            compare(labelsOf(pad), "a b c d e f g h i back j ok")
            var numbers = spyOn(pad, "calcNumberPressed")
            pad.controlButtons(true, [2, 5])
            verify(!findChild(pad, "numberPadKey2").enabled)
            compare(findChild(pad, "numberPadKey2").opacity, 0.3)
            mouseClick(findChild(pad, "numberPadKey2"))
            compare(numbers.count, 0)
            mouseClick(findChild(pad, "numberPadKey1"))
            compare(numbers.count, 1)
            pad.controlButtons(false, [])
            for (var i = 1; i <= 12; ++i)
                verify(!findChild(pad, "numberPadKey" + i).enabled)
            pad.controlButtons(true, [])
            for (i = 1; i <= 12; ++i)
                verify(findChild(pad, "numberPadKey" + i).enabled)
        }

        // --- CustomButton ---

        function test_buttonSignalsAndFill() {
            var button = createTemporaryObject(buttonComponent, root, { "text": "GO" })
            var clicked = spyOn(button, "clicked")
            var pressed = spyOn(button, "pressed")
            var released = spyOn(button, "released")
            mousePress(button, 20, 20)
            verify(button.fillRunning)
            compare(pressed.count, 1)
            mouseRelease(button, 20, 20)
            compare(released.count, 1)
            compare(clicked.count, 1)
            button.fillAnimationEnabled = false
            mousePress(button, 20, 20)
            tryCompare(button, "fillRunning", false, 10000)
            mouseRelease(button, 20, 20)
            compare(clicked.count, 2)
        }

        // --- MessageRowItem ---

        function test_messageRowExpandsAndDeletes() {
            var row = createTemporaryObject(rowComponent, root,
                                            { "title": "Ignition off", "message": "Board\nline two",
                                              "isExpandable": true, "time": "01-Jan-26 10:00" })
            var clicked = spyOn(row, "clicked")
            var del = spyOn(row, "deleteRequest")
            var collapsed = row.height
            verify(!findChild(row, "messageRowMessage").visible)
            mouseClick(row, 40, 10)
            verify(row.expanded)
            compare(clicked.count, 1)
            verify(row.height > collapsed)
            verify(row.height <= 150)
            var trash = findChild(row, "messageRowTrash")
            verify(trash.visible)
            mouseClick(trash)
            compare(del.count, 1)
            mouseClick(row, 40, 10)
            verify(!row.expanded)
            compare(row.height, collapsed)
        }

        function test_messageRowLatchAlternates() {
            var row = createTemporaryObject(rowComponent, root, { "title": "x", "enableLatchButton": true })
            var pressed = spyOn(row, "pressed")
            var released = spyOn(row, "released")
            mouseClick(row, 40, 10)
            compare(pressed.count, 1)
            compare(released.count, 0)
            mouseClick(row, 40, 10)
            compare(pressed.count, 1)
            compare(released.count, 1)
        }
    }
}
