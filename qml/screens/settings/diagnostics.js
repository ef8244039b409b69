.pragma library

// Rules of the self-test page, kept apart from the page so tests can call them.

// The automatic results, top to bottom: the row title and the property of the
// diagnostics object it shows.
var results = [
    { "title": "RTC", "property": "rtc" },
    { "title": "Ethernet", "property": "ethernet" },
    { "title": "USB Hub", "property": "usbHub" },
    { "title": "USB Host", "property": "usbHost" },
    { "title": "FTDI", "property": "ftdi" },
    { "title": "mPCIe #1", "property": "mPCIe1" },
    { "title": "Touch", "property": "touch" },
    { "title": "SD Card", "property": "sdCard" },
    { "title": "Ignition", "property": "ignition" },
    { "title": "Temperature", "property": "temperature" },
    { "title": "System Voltage", "property": "voltage" },
    { "title": "RFID (USB)", "property": "rfidUsb" },
    { "title": "RFID (Service)", "property": "rfidService" },
    { "title": "Barcode (USB)", "property": "barcodeUsb" },
    { "title": "Barcode (Service)", "property": "barcodeService" },
    { "title": "SAM", "property": "sam" },
    { "title": "Board", "property": "boardService" },
    { "title": "Pole ID", "property": "poleId" },
    { "title": "Serial Port", "property": "serialPortTest" }
]

// How a result is coloured: "none" (not run), "ok", "error" (the text says
// ERROR anywhere, as the serial test's longer texts do) or "other" (a measured
// value or a state the technician has to judge).
function resultClass(value) {
    if (value === undefined || value === null)
        return "none"
    var text = String(value)
    if (text === "")
        return "none"
    if (text === "OK")
        return "ok"
    if (text.indexOf("ERROR") >= 0)
        return "error"
    return "other"
}

var tapCardText = "Tap a card"
var scanBarcodeText = "Scan a barcode"

function cardDetectedText(uid, type) {
    return "CARD DETECTED\n" + uid + "\n" + type
}

// The colour test steps through these; a tap on the last one ends it.
var testColours = ["red", "green", "blue"]

// The next step of the colour test, or -1 when the test is over.
function nextColourStep(step) {
    return step + 1 < testColours.length ? step + 1 : -1
}

// Flow control choices, indexed by the serial library's numbering.
var flowControls = ["NONE", "RTS/CTS", "XON/XOFF"]

// The choice index to preset for a stored value; -1 leaves the choice as it is
// (the stored port is not in the list).
function portChoice(ports, port) {
    if (!ports)
        return -1
    for (var i = 0; i < ports.length; ++i) {
        if (ports[i] === port)
            return i
    }
    return -1
}

function flowChoice(value) {
    var index = Number(value)
    return index >= 0 && index < flowControls.length ? index : 0
}

// The sensor dialog's text with the board's live readings.
function sensorText(brightness, sensor) {
    return "Is LCD brightness adjusting?\n\nBrightness : " + brightness + "%\nLight Sensor : " + sensor + "%"
}
