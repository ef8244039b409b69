.pragma library

// Pure rules of the settings pages, kept apart so tests can call them directly.

// The settings menu, top to bottom; pages live beside this file.
var menu = [
    { "title": "Validator", "description": "Validator information and settings",
      "page": "Validator.qml", "icon": "ticket.svg" },
    { "title": "Diagnostics", "description": "System health and diagnostic",
      "page": "Diagnostics.qml", "icon": "diagnostic.svg" },
    { "title": "Region", "description": "Date, time and languange settings",
      "page": "Region.qml", "icon": "region.svg" },
    { "title": "Audio", "description": "Adjust audio volume",
      "page": "Audio.qml", "icon": "audio.svg" },
    { "title": "Display", "description": "Adjust display brightness and mode",
      "page": "Display.qml", "icon": "brightness-2.svg" },
    { "title": "Network", "description": "Configure Ethernet, WiFi and Modem",
      "page": "Network.qml", "icon": "network.svg" },
    { "title": "Update", "description": "Check for software and sytem updates",
      "page": "Update.qml", "icon": "update.svg" },
    { "title": "Event Log", "description": "Examine system events and alarms",
      "page": "EventLog.qml", "icon": "log.svg" }
]

var pageFolder = "qrc:/qml/screens/settings/"
var iconFolder = "qrc:/qml/images/Icons/"

// The header menu, top to bottom.
var headerMenu = ["Scan Config QR", "Restart Application", "Reboot", "Shutdown", "Logout"]

// What a header menu entry leads to: a pop-up to open, a command to confirm, or
// the log-out itself.
function headerAction(item) {
    switch (item) {
    case "Scan Config QR": return { "kind": "scan" }
    case "Restart Application": return { "kind": "confirm", "command": "restart" }
    case "Reboot": return { "kind": "confirm", "command": "reboot" }
    case "Shutdown": return { "kind": "confirm", "command": "shutdown" }
    case "Logout": return { "kind": "logout" }
    }
    return { "kind": "none" }
}

// The GUI manager's slot a confirmed command calls; empty for anything else.
function commandSlot(command) {
    switch (command) {
    case "restart": return "exitRequest"
    case "reboot": return "rebootRequest"
    case "shutdown": return "shutdownRequest"
    }
    return ""
}

// The configuration pop-up's text once a maintenance barcode was applied.
function appliedText(configList) {
    var lines = []
    for (var i = 0; configList && i < configList.length; ++i)
        lines.push(String(configList[i]))
    return "CONFIGURATION APPLIED\n" + lines.join("\n")
}

// Colour class of the validator's status: "warn", "bad" or "good".
function validatorStatusClass(status) {
    if (status === "init" || status === "out-of-service" || status === "degraded")
        return "warn"
    if (status === "offline")
        return "bad"
    return "good"
}

// Whether any form value differs from the value it is bound to. Both are
// objects of the same keys; URLs and numbers compare by their text.
function formDiffers(form, stored) {
    for (var key in form) {
        if (String(form[key]) !== String(stored[key]))
            return true
    }
    return false
}

// A spin box's value counting the text being typed: the box takes typed text only
// on Enter or when it loses focus, and a technician may tap Save before either.
// Text that is no number (yet) leaves the value as it is; out of range is clamped.
function typedValue(box, text) {
    var value
    try {
        value = box.valueFromText(String(text), box.locale)
    } catch (e) {
        return box.value
    }
    if (typeof value !== "number" || isNaN(value))
        return box.value
    return Math.max(box.from, Math.min(box.to, Math.round(value)))
}

// A whole-number percentage of a 0..100 slider value, as shown beside the label.
function percent(value) {
    return Math.round(Number(value)) + "%"
}

// The locales the region page offers.
var locales = ["en_US", "en_IE", "el_GR"]

// The backlight modes the display page offers.
var brightnessModes = ["auto", "manual"]
