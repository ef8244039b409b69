import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2

// The window and the passenger screens against the stand-in GUI manager
// ("manager", driven through "mock").
Item {
    id: root
    width: 480
    height: 800

    Component { id: signalSpy; SignalSpy {} }

    TestCase {
        id: test
        name: "Screens"
        when: windowShown

        property var window: null

        function loaderOf(name) {
            return findChild(window.contentItem, "screen_" + name)
        }

        function screenItem(name) {
            return loaderOf(name).item
        }

        function createScreen(name, properties) {
            var component = Qt.createComponent("qrc:/qml/screens/" + name + ".qml")
            compare(component.status, Component.Ready, component.errorString())
            return createTemporaryObject(component, root, properties || { "width": 480, "height": 680 })
        }

        function initTestCase() {
            warningLog.clear()
            var component = Qt.createComponent("qrc:/qml/main.qml")
            compare(component.status, Component.Ready, component.errorString())
            window = component.createObject(null)
            verify(window)
            tryCompare(window, "visible", true)
        }

        function cleanupTestCase() {
            if (window)
                window.destroy()
        }

        // Typing goes to the test's own window, not the program's.
        function activateTestWindow() {
            root.Window.window.requestActivate()
            tryCompare(root.Window.window, "active", true, 10000)
        }

        function init() {
            mock.reset()
            mock.screen = "Busy"
        }

        function test_windowShape() {
            compare(window.width, 480)
            compare(window.height, 800)
            compare(window.title, "Validator")
            compare(window.currentScreen, "Busy")
            compare(window.header.height, 120)
        }

        function test_walkEveryScreenWithoutWarnings() {
            var names = ["InitPage", "Busy", "ScanScreens", "Valid", "AlreadyValid", "Invalid",
                         "Retry", "OutOfOrder", "OutOfService", "ScreenSaver", "Settings", "Login"]
            warningLog.clear()
            for (var i = 0; i < names.length; ++i) {
                mock.screen = names[i]
                compare(window.currentScreen, names[i])
                verify(loaderOf(names[i]).visible, names[i])
                verify(loaderOf(names[i]).item, names[i])
                var shown = 0
                for (var j = 0; j < window.screens.length; ++j)
                    shown += loaderOf(window.screens[j].name).visible ? 1 : 0
                compare(shown, 1)
                compare(window.header.visible, names[i] !== "Settings" && names[i] !== "ScreenSaver")
                waitForRendering(window.contentItem)
            }
            mock.setLanguage("el_GR")
            mock.setLanguage("en_IE")
            compare(warningLog.warnings.join("\n"), "")
        }

        function test_errorPopupOverAScreenClosesOnTap() {
            mock.screen = "ScanScreens"
            var popup = findChild(window.contentItem, "errorPopup") || window.errorPopupForTest
            mock.reportError("Broker connection lost")
            var popups = window.overlay.children
            var found = null
            for (var i = 0; i < popups.length; ++i) {
                var text = findChild(popups[i], "popupText")
                if (text && text.text === "Broker connection lost")
                    found = text
            }
            verify(found, "error text shown")
            tryCompare(found, "visible", true, 10000)
            mouseClick(found)
            tryCompare(found, "visible", false, 10000)
            compare(window.currentScreen, "ScanScreens")
        }

        function test_scanPagesSwitchBetweenThemselves() {
            mock.screen = "ScanScreens"
            window.currentScreen = "ScanCard"
            mouseClick(findChild(screenItem("ScanCard"), "scanSwitchButton"))
            compare(window.currentScreen, "ScanBarcode")
            compare(mock.screen, "ScanScreens")
            mouseClick(findChild(screenItem("ScanBarcode"), "scanSwitchButton"))
            compare(window.currentScreen, "ScanCard")
        }

        function test_technicianGestureCallsTheManager() {
            var clock = findChild(window.header, "headerClock")
            mouseClick(clock)
            mouseClick(clock)
            mouseClick(clock)
            tryCompare(mock, "maintenanceRequests", 1, 10000)
        }

        function test_languageButtonSwitchesTheLanguage() {
            mock.language = "el_GR"
            mouseClick(findChild(window.header, "languageButton"))
            compare(mock.language, "en_IE")
            mouseClick(findChild(window.header, "languageButton"))
            compare(mock.language, "el_GR")
            compare(window.locale.name, "el_GR")
        }

        // --- Outcome screens ---

        function detail(screen, name) {
            return findChild(screen, name).text
        }

        function test_detailBlockByType_data() {
            return [
                { tag: "journeys with capping on Valid", screen: "Valid", type: 16,
                  details: { transferRemainingMin: 90, remaining: 7 },
                  visible: true, left: "Remaining", leftValue: "90 mins", right: "Trips", rightValue: "7" },
                { tag: "journeys with capping on AlreadyValid", screen: "AlreadyValid", type: 16,
                  details: { transferRemainingMin: 90, remaining: 7 }, visible: false },
                { tag: "e-purse with capping on AlreadyValid", screen: "AlreadyValid", type: 15,
                  details: { deducted: 1.2, remaining: 3 }, visible: false },
                { tag: "stored journeys on AlreadyValid", screen: "AlreadyValid", type: 5,
                  details: { transferRemainingMin: 1, remaining: 3 },
                  visible: true, left: "Remaining", leftValue: "1 min", right: "Trips", rightValue: "3" },
                { tag: "period pass", screen: "Valid", type: 8,
                  details: { remaining: 1441, expires: new Date(2026, 11, 24, 23, 59) },
                  visible: true, left: "Remaining", leftValue: "1 day", right: "Expires", rightValue: "24 Dec 26" },
                { tag: "barcode", screen: "Valid", type: 0,
                  details: { transferRemainingMin: 121 },
                  visible: true, left: "Remaining", leftValue: "2 hours" },
                { tag: "transfer e-purse", screen: "Valid", type: 14,
                  details: { transferRemainingMin: 1440, remaining: 4.5 },
                  visible: true, left: "Remaining", leftValue: "24 hours", right: "Balance",
                  rightValue: Number(4.5).toLocaleCurrencyString(Qt.locale()) },
                { tag: "e-purse", screen: "Valid", type: 2,
                  details: { deducted: 1.2, remaining: 8.8 },
                  visible: true, left: "Deducted", leftValue: Number(1.2).toLocaleCurrencyString(Qt.locale()),
                  right: "Balance", rightValue: Number(8.8).toLocaleCurrencyString(Qt.locale()) },
                { tag: "EMV", screen: "Valid", type: 10, details: {}, visible: false }
            ]
        }

        function test_detailBlockByType(data) {
            mock.setTransaction({ "valid": true, "type": data.type, "fareProduct": "Adult 90'",
                                  "details": data.details })
            var screen = createScreen(data.screen)
            var block = findChild(screen, "detailBlock")
            compare(block.visible, data.visible)
            compare(findChild(screen, "fareProduct").text, "Adult 90'")
            if (!data.visible)
                return
            compare(detail(block, "detailLeftCaption"), data.left)
            compare(detail(block, "detailLeftValue"), data.leftValue)
            if (data.right !== undefined) {
                compare(findChild(block, "detailRightCaption").visible, true)
                compare(detail(block, "detailRightCaption"), data.right)
                compare(detail(block, "detailRightValue"), data.rightValue)
            } else {
                compare(findChild(block, "detailRightCaption").visible, false)
            }
        }

        function test_currencyFollowsTheLanguage() {
            mock.setTransaction({ "valid": true, "type": 2, "details": { deducted: 1.5, remaining: 10 } })
            var screen = createScreen("Valid")
            var block = findChild(screen, "detailBlock")
            mock.language = "el_GR"
            var value = detail(block, "detailLeftValue")
            verify(value.indexOf("1,50") >= 0, value)
            mock.language = "en_IE"
            value = detail(block, "detailLeftValue")
            verify(value.indexOf("1.50") >= 0, value)
            // English shown on a euro unit: English digits, the fare system's sign.
            mock.currencySymbol = "€"
            mock.language = "en_US"
            compare(detail(block, "detailLeftValue"), "€1.50")
            compare(detail(block, "detailRightValue"), "€10.00")
            mock.language = "el_GR"
            compare(detail(block, "detailLeftValue"), "1,50\u00a0€")
        }

        function test_windowScreensFollowEachNewTransaction() {
            mock.setTransaction({ "valid": true, "type": 5, "fareProduct": "10 journeys",
                                  "details": { transferRemainingMin: 30, remaining: 9 } })
            mock.screen = "Valid"
            var valid = screenItem("Valid")
            compare(findChild(valid, "fareProduct").text, "10 journeys")
            compare(findChild(valid, "detailRightValue").text, "9")
            mock.setTransaction({ "valid": true, "type": 8, "fareProduct": "Monthly",
                                  "details": { remaining: 2880 } })
            compare(findChild(valid, "fareProduct").text, "Monthly")
            compare(findChild(valid, "detailLeftValue").text, "2 days")
            compare(findChild(valid, "detailRightCaption").text, "Expires")
        }

        function test_invalidShowsTheReason() {
            mock.setTransaction({ "valid": false, "type": 5, "denyReason": "The card has expired" })
            var screen = createScreen("Invalid")
            compare(findChild(screen, "denyReason").text, "The card has expired")
            compare(findChild(screen, "outcomeTitle").text, "INVALID")
        }

        function test_outOfOrderShowsTheMessage() {
            mock.message = "#0003"
            var screen = createScreen("OutOfOrder")
            compare(findChild(screen, "faultMessage").text, "#0003")
            mock.message = "#0004"
            compare(findChild(screen, "faultMessage").text, "#0004")
        }

        function test_greekCatalogue() {
            mock.language = "el_GR"
            if (!mock.catalogueLoaded)
                skip("Greek catalogue not built in")
            var screen = createScreen("OutOfOrder")
            var title = findChild(screen, "outcomeTitle")
            compare(title.text.split("\n").length, 2)
            var login = createScreen("settings/Login")
            compare(findChild(login, "numberPadKey12").text, "CLR")
            mock.language = "en_IE"
            compare(title.text, "OUT OF ORDER")
        }

        // --- Serial number page ---

        function test_serialNumberEntry() {
            mock.deviceId = ""
            var page = createScreen("InitPage")
            var field = findChild(page, "serialField")
            var save = findChild(page, "saveButton")
            var hint = findChild(page, "serialHint")
            verify(!page.inputValid)
            verify(!save.enabled)
            activateTestWindow()
            field.forceActiveFocus()
            keyClick("K")
            for (var i = 1; i <= 7; ++i)
                keyClick(Qt.Key_0 + i)
            compare(field.text, "K1234567")
            verify(hint.visible)
            verify(!save.enabled)
            keyClick(Qt.Key_8)
            verify(!hint.visible)
            verify(save.enabled)
            mouseClick(save)
            var confirm = findChild(page, "serialConfirm")
            tryCompare(confirm, "opened", true, 10000)
            verify(confirm.text.indexOf("Please confirm the serial number\n\nK12345678") === 0)
            mouseClick(findChild(confirm.contentItem, "popupYes"))
            tryCompare(confirm, "visible", false, 10000)
            compare(mock.savedDeviceIds.join(","), "K12345678")
        }

        function test_serialNumberEnterIgnoresInvalidInput() {
            var page = createScreen("InitPage")
            var field = findChild(page, "serialField")
            var confirm = findChild(page, "serialConfirm")
            activateTestWindow()
            field.forceActiveFocus()
            keyClick("K")
            keyClick(Qt.Key_Return)
            wait(300) // a pop-up would have begun to open by now
            verify(!confirm.visible)
            for (var i = 1; i <= 8; ++i)
                keyClick(Qt.Key_0 + i)
            keyClick(Qt.Key_Return)
            tryCompare(confirm, "opened", true, 10000)
            mouseClick(findChild(confirm.contentItem, "popupNo"))
            tryCompare(confirm, "visible", false, 10000)
            compare(mock.savedDeviceIds.length, 0)
        }

        function test_serialNumberLayout() {
            mock.deviceId = ""
            var page = createScreen("InitPage")
            var column = findChild(page, "serialColumn")
            var centre = column.mapToItem(page, 0, column.height / 2).y
            verify(Math.abs(centre - page.height / 2) < 2, centre)
            // Two balanced lines: the wrap leaves no lone word behind.
            var hint = findChild(page, "serialHint")
            var metrics = Qt.createQmlObject("import QtQuick 2.15; TextMetrics {}", page)
            metrics.font = hint.font
            metrics.text = hint.text
            compare(hint.lineCount, 2)
            verify(hint.contentWidth < metrics.width * 0.7, hint.contentWidth + " of " + metrics.width)
        }

        function test_greekScanHintsFitOnTwoLines() {
            mock.language = "el_GR"
            if (!mock.catalogueLoaded)
                skip("Greek catalogue not built in")
            var scan = createScreen("ScanScreens")
            var hint = findChild(scan, "scanHint")
            scan.mode = 0
            compare(hint.lineCount, 2)
            scan.mode = 1
            compare(hint.lineCount, 2)
            verify(hint.text.indexOf("ΕΙΣΙΤΗΡΙΟ") >= 0, hint.text)
            for (var name of ["ScanCard", "ScanBarcode"]) {
                var page = createScreen(name)
                var text = findChild(page, "scanHint")
                compare(text.lineCount, 2, name)
            }
            mock.language = "en_IE"
            scan.mode = 0
            verify(Math.abs(hint.fontInfo.pointSize - 14) < 0.5, hint.fontInfo.pointSize) // the size that fits stays
        }

        function test_serialFieldStartsWithTheDeviceId() {
            mock.deviceId = "C00000001"
            var page = createScreen("InitPage")
            compare(findChild(page, "serialField").text, "C00000001")
        }

        // --- Scan prompt ---

        function framesUntilSwitch(page) {
            var seen = []
            var record = function() { seen.push(page.mode + ":" + page.frame) }
            page.frameChanged.connect(record)
            tryCompare(page, "mode", 1, 20000)
            page.frameChanged.disconnect(record)
            return seen
        }

        function test_scanPromptSwitchesAfterEachAnimation() {
            mock.animSwitchSec = 0
            var page = createScreen("ScanScreens")
            var seen = framesUntilSwitch(page)
            verify(seen.indexOf("0:5") >= 0, seen.join(" "))
            verify(seen.indexOf("0:6") < 0, seen.join(" "))
            // The card animation ran once, then the ticket animation took over.
            compare(seen.filter(function(s) { return s === "0:5" }).length, 1)
            compare(page.frame, 0)
        }

        function test_scanPromptLoopsUntilTheSwitchTimer() {
            mock.animSwitchSec = 5000
            var page = createScreen("ScanScreens")
            var seen = framesUntilSwitch(page)
            // 5 s at 300 ms a frame: the card animation came round more than once,
            // each time through to its last frame.
            verify(seen.filter(function(s) { return s === "0:6" }).length >= 2, seen.join(" "))
            compare(page.frame, 0)
        }

        // On a busy bus the prompt never shows for a whole period at a time: the
        // period goes on from where each outcome screen left it.
        function test_scanPromptSwitchesAcrossHiddenSpells() {
            mock.animSwitchSec = 1500
            var page = createScreen("ScanScreens")
            for (var i = 0; i < 20 && page.mode === 0; ++i) {
                wait(1000)
                page.visible = false
                wait(200)
                page.visible = true
            }
            compare(page.mode, 1)
        }

        function pictures(page) {
            var animation = findChild(page, "scanFrame")
            var list = []
            for (var i = 0; i < animation.children.length; ++i) {
                if (animation.children[i].objectName === "scanFramePicture")
                    list.push(animation.children[i])
            }
            return list
        }

        function decoded(page) {
            return pictures(page).filter(function(p) { return String(p.source) !== "" }).length
        }

        function test_scanPagesFetchEachPictureOnceAndRestWhileHidden() {
            mock.animSwitchSec = 0
            var hiddenPrompt = createScreen("ScanScreens", { "width": 480, "height": 680, "visible": false })
            var hiddenCard = createScreen("ScanCard", { "width": 480, "height": 680, "visible": false })
            var hiddenSteps = 0
            var count = function() { ++hiddenSteps }
            hiddenPrompt.frameChanged.connect(count)
            hiddenCard.frameChanged.connect(count)
            var page = createScreen("ScanScreens")
            compare(decoded(page), 1)
            tryCompare(page, "mode", 1, 20000)
            tryCompare(page, "mode", 0, 20000)
            // Every frame shown so far keeps its picture; the last frames of both
            // animations are never shown with a switch period of 0.
            compare(pictures(page).length, 16)
            compare(decoded(page), 14)
            compare(pictures(page).filter(function(p) { return p.visible }).length, 1)
            compare(hiddenSteps, 0)
            compare(decoded(hiddenPrompt), 0)
            compare(decoded(hiddenCard), 0)
        }

        function test_scanHintFollowsTheMode() {
            var page = createScreen("ScanScreens")
            var hint = findChild(page, "scanHint")
            page.mode = 0
            compare(hint.text, "SCAN\nYOUR CARD")
            page.mode = 1
            compare(hint.text, "SCAN\nYOUR TICKET")
        }

        // --- Login placeholder ---

        function test_loginPad() {
            var page = createScreen("settings/Login")
            var pin = findChild(page, "pinText")
            var login = findChild(page, "loginButton")
            compare(pin.text, "Pin")
            verify(!login.enabled)
            tryVerify(function() { return findChild(page, "numberPadKey12").y > 0 }, 10000)
            mouseClick(findChild(page, "numberPadKey7"))
            mouseClick(findChild(page, "numberPadKey3"))
            mouseClick(findChild(page, "numberPadKey9"))
            mouseClick(findChild(page, "numberPadKey10"))
            mouseClick(findChild(page, "numberPadKey9"))
            mouseClick(findChild(page, "numberPadKey1"))
            compare(pin.text, "7391")
            verify(login.enabled)
            mouseClick(login)
            compare(mock.loginPins.join(","), "7391")
            mock.denyAccess()
            compare(pin.text, "Pin")
            mouseClick(findChild(page, "numberPadKey1"))
            mouseClick(findChild(page, "numberPadKey12"))
            compare(pin.text, "Pin")
            mock.grantAccess()
            compare(mock.screen, "Settings")
        }
    }
}
