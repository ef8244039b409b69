import QtQuick 2.15
import QtTest 1.2
import "qrc:/qml/screens/logic.js" as Screens
import "qrc:/qml/screens/settings/logic.js" as Settings

TestCase {
    name: "Logic"

    function test_serialNumber_data() {
        return [
            { tag: "K12345678", text: "K12345678", valid: true },
            { tag: "C00000001", text: "C00000001", valid: true },
            { tag: "lower-case k", text: "k12345678", valid: false },
            { tag: "seven digits", text: "K1234567", valid: false },
            { tag: "nine digits", text: "K123456789", valid: false },
            { tag: "two letters", text: "CK12345678", valid: false },
            { tag: "comma", text: ",12345678", valid: false },
            { tag: "other letter", text: "A12345678", valid: false },
            { tag: "trailing blank", text: "K12345678 ", valid: false },
            { tag: "line break", text: "K12345678\n", valid: false },
            { tag: "empty", text: "", valid: false }
        ]
    }

    function test_serialNumber(data) {
        compare(Screens.isValidSerial(data.text), data.valid)
    }

    function test_period_data() {
        return [
            { tag: "1441", minutes: 1441, value: 1, unit: "day" },
            { tag: "1440", minutes: 1440, value: 24, unit: "hours" },
            { tag: "121", minutes: 121, value: 2, unit: "hours" },
            { tag: "120", minutes: 120, value: 120, unit: "mins" },
            { tag: "1", minutes: 1, value: 1, unit: "min" },
            { tag: "0", minutes: 0, value: 0, unit: "mins" },
            { tag: "3 days", minutes: 4000, value: 3, unit: "days" },
            { tag: "rounds half up", minutes: 150, value: 3, unit: "hours" },
            { tag: "missing", minutes: undefined, value: 0, unit: "mins" }
        ]
    }

    function test_period(data) {
        var p = Screens.period(data.minutes)
        compare(p.value, data.value)
        compare(p.unit, data.unit)
    }

    function test_detailBlock_data() {
        return [
            { tag: "0", type: 0, valid: "barcode", already: "barcode" },
            { tag: "2", type: 2, valid: "purse", already: "purse" },
            { tag: "5", type: 5, valid: "journeys", already: "journeys" },
            { tag: "8", type: 8, valid: "period", already: "period" },
            { tag: "10", type: 10, valid: "", already: "" },
            { tag: "12", type: 12, valid: "journeys", already: "journeys" },
            { tag: "13", type: 13, valid: "", already: "" },
            { tag: "14", type: 14, valid: "transferPurse", already: "transferPurse" },
            { tag: "15", type: 15, valid: "purse", already: "" },
            { tag: "16", type: 16, valid: "journeys", already: "" },
            { tag: "unknown", type: 99, valid: "", already: "" }
        ]
    }

    function test_detailBlock(data) {
        compare(Screens.detailBlock(data.type, "Valid"), data.valid)
        compare(Screens.detailBlock(data.type, "AlreadyValid"), data.already)
    }

    // Runs the frame timer for a number of ticks and records (mode, frame).
    function run(switchMsec, ticks) {
        var mode = 0, frame = 0
        var seen = [[mode, frame]]
        for (var i = 0; i < ticks; ++i) {
            var s = Screens.nextFrame(mode, frame, switchMsec)
            mode = s.mode
            frame = s.frame
            seen.push([mode, frame])
        }
        return seen
    }

    function test_frameSequenceSwitchesAfterEachAnimation() {
        var seen = run(0, 30)
        var text = seen.map(function(s) { return s[0] + ":" + s[1] }).join(" ")
        compare(text, "0:0 0:1 0:2 0:3 0:4 0:5 "
                    + "1:0 1:1 1:2 1:3 1:4 1:5 1:6 1:7 "
                    + "0:0 0:1 0:2 0:3 0:4 0:5 "
                    + "1:0 1:1 1:2 1:3 1:4 1:5 1:6 1:7 "
                    + "0:0 0:1 0:2")
    }

    function test_frameSequenceLoopsWithSwitchTimer() {
        var seen = run(5000, 40)
        for (var i = 0; i < seen.length; ++i) {
            compare(seen[i][0], 0, "mode changed without the switch timer")
            verify(seen[i][1] <= 6)
        }
        // Every frame, the last one too, before the loop starts again.
        compare(seen[6][1], 6)
        compare(seen[7][1], 0)
        compare(Screens.nextFrame(1, 7, 5000).frame, 8)
        var ticket = Screens.nextFrame(1, 8, 5000)
        compare(ticket.mode, 1)
        compare(ticket.frame, 0)
    }

    function test_switchPeriodRestsWhileHidden() {
        compare(Screens.switchLeft(5000, 1000, 2500, 5000), 3500)
        compare(Screens.switchLeft(3500, 9000, 9500, 5000), 3000)
        // A period shortened by a new setting, a spent period, a clock step back.
        compare(Screens.switchLeft(5000, 0, 0, 2000), 2000)
        compare(Screens.switchLeft(300, 0, 900, 5000), 1)
        compare(Screens.switchLeft(3000, 5000, 1000, 5000), 3000)
    }

    function test_currency() {
        var en = Qt.locale("en_IE")
        var el = Qt.locale("el_GR")
        compare(Screens.currency(12.5, en), Number(12.5).toLocaleCurrencyString(en))
        verify(Screens.currency(12.5, en).indexOf("12.50") >= 0)
        verify(Screens.currency(12.5, el).indexOf("12,50") >= 0)
        verify(Screens.currency(12.5, el).indexOf("€") >= 0)
        verify(Screens.currency(undefined, en).indexOf("0.00") >= 0)
    }

    function test_pictureAddress() {
        compare(Screens.pictureAddress("qrc:/qml/images/Icons/vexa.png"), "qrc:/qml/images/Icons/vexa.png")
        compare(Screens.pictureAddress("file:///opt/depot/logo.png"), "file:///opt/depot/logo.png")
        compare(Screens.pictureAddress(" /opt/depot/my logo.png"), "file:///opt/depot/my%20logo.png")
        compare(Screens.pictureAddress("logo.png"), "")
        compare(Screens.pictureAddress("http://depot/logo.png"), "")
        compare(Screens.pictureAddress(""), "")
    }

    function test_shortDate() {
        var en = Qt.locale("en_IE")
        compare(Screens.shortDate(new Date(2026, 2, 7, 12, 0), en), "7 Mar 26")
        compare(Screens.shortDate(null, en), "")
        compare(Screens.shortDate("not a date", en), "")
    }

    // --- settings pages ---

    function test_formDiffers() {
        var stored = { "url": "mqtt://h:1883", "passback": 120, "qr": true }
        verify(!Settings.formDiffers({ "url": "mqtt://h:1883", "passback": 120, "qr": true }, stored))
        verify(Settings.formDiffers({ "url": "mqtt://h:1884", "passback": 120, "qr": true }, stored))
        verify(Settings.formDiffers({ "url": "mqtt://h:1883", "passback": 121, "qr": true }, stored))
        verify(Settings.formDiffers({ "url": "mqtt://h:1883", "passback": 120, "qr": false }, stored))
        // A spin box value against the same number read from text.
        verify(!Settings.formDiffers({ "passback": 120 }, { "passback": "120" }))
    }

    function test_headerMenuLeadsToTheRightCall() {
        var calls = Settings.headerMenu.map(function(item) {
            var action = Settings.headerAction(item)
            return action.kind === "confirm" ? Settings.commandSlot(action.command) : action.kind
        })
        compare(calls.join(","), "scan,exitRequest,rebootRequest,shutdownRequest,logout")
        compare(Settings.headerAction("Format disk").kind, "none")
        compare(Settings.commandSlot(""), "")
    }

    function test_appliedText() {
        compare(Settings.appliedText(["OBC : mqtt://h:1883", "Method : auto"]),
                "CONFIGURATION APPLIED\nOBC : mqtt://h:1883\nMethod : auto")
        compare(Settings.appliedText([]), "CONFIGURATION APPLIED\n")
        compare(Settings.appliedText(undefined), "CONFIGURATION APPLIED\n")
    }

    function test_validatorStatusClass() {
        compare(["init", "out-of-service", "degraded", "offline", "online", ""].map(Settings.validatorStatusClass).join(","),
                "warn,warn,warn,bad,good,good")
    }
}
