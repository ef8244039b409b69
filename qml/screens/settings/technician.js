.pragma library

// Rules of the network, update and event log pages, kept apart so tests can
// call them directly. Colour classes are "good", "warn", "bad" or "" (plain).

// A connection state: only "Connected" is good and only "Disconnected" bad;
// everything in between (connecting, configuring, ...) is a warning.
function connectionStateClass(state) {
    if (state === "Connected")
        return "good"
    if (state === "Disconnected")
        return "bad"
    return "warn"
}

// Internet reach: anything the service does not call full or partial is none.
function connectivityClass(connectivity) {
    if (connectivity === "Full")
        return "good"
    if (connectivity === "Portal" || connectivity === "Limited")
        return "warn"
    return "bad"
}

function updateStatusClass(status) {
    switch (status) {
    case "Disconnected": return "bad"
    case "Ready to install": return "good"
    case "Downloading":
    case "Installing": return "warn"
    }
    return ""
}

function canInstall(status) {
    return status === "Ready to install"
}

function versionText(version) {
    return version ? version : "None"
}

var ethernetModes = ["auto", "manual"]

// The Ethernet configuration fields, top to bottom: label and IPv4 property.
var ethernetFields = [
    { "label": "IPV4 Address", "key": "address" },
    { "label": "IPV4 Netmask", "key": "mask" },
    { "label": "IPV4 Gateway", "key": "gateway" },
    { "label": "DNS #0", "key": "dns0" },
    { "label": "DNS #1", "key": "dns1" }
]

// The method to put back when the configuration page goes away unsaved: the one
// it opened with, as long as the page's own choice is still in force (a newer
// word from the service stands). null when there is nothing to undo.
function methodToRestore(openedWith, chosen, now, saved) {
    if (saved || chosen === null || now !== chosen || chosen === openedWith)
        return null
    return openedWith
}

var severities = ["Critical", "Warning", "All messages"]

// These are the names the event log's period filter understands.
var periods = ["All history", "Last hour", "Last 2 hours", "Today", "Yesterday", "Last week", "Last month"]

var eventTimeFormat = "dd-MMM-yy hh:mm"
