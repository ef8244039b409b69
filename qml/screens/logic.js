.pragma library

// Pure rules of the passenger screens, kept apart so tests can call them directly.

// A serial number is one letter C or K followed by exactly eight digits.
function isValidSerial(text) {
    return /^[CK][0-9]{8}$/.test(String(text))
}

// A period of minutes as a number and its unit word ("day", "days", "hour",
// "hours", "min", "mins"); the screen translates the unit.
function period(minutes) {
    var m = Number(minutes)
    if (isNaN(m))
        m = 0
    var value, unit
    if (m > 1440) {
        value = Math.round(m / 1440)
        unit = "day"
    } else if (m > 120) {
        value = Math.round(m / 60)
        unit = "hour"
    } else {
        value = m
        unit = "min"
    }
    if (value !== 1)
        unit += "s"
    return { "value": value, "unit": unit }
}

// The detail block an outcome screen shows for a ticket type; "" for none.
// The capping products (15, 16) only have a block on "Valid".
function detailBlock(type, screen) {
    var onValid = screen === "Valid"
    switch (Number(type)) {
    case 0:
        return "barcode"
    case 5:
    case 12:
        return "journeys"
    case 16:
        return onValid ? "journeys" : ""
    case 14:
        return "transferPurse"
    case 8:
        return "period"
    case 2:
        return "purse"
    case 15:
        return onValid ? "purse" : ""
    default:
        return ""
    }
}

var frameCounts = [7, 9]

// One step of the scan prompt's frame timer. With switchMsec 0 the prompt
// changes animation instead of showing an animation's last frame; otherwise each
// animation loops through all its frames until the switch timer changes it.
function nextFrame(mode, frame, switchMsec) {
    var next = frame + 1
    var periodic = Number(switchMsec) > 0
    if (next < frameCounts[mode] - (periodic ? 0 : 1))
        return { "mode": mode, "frame": next }
    if (!periodic)
        return { "mode": 1 - mode, "frame": 0 }
    return { "mode": mode, "frame": 0 }
}

// What is left of the scan prompt's switch period after a visible spell. The
// period rests while the prompt is hidden and resumes with what was left, so the
// outcome screens of a busy bus do not restart it. QML has only the wall clock: a
// clock step during the spell moves this one period, within its bounds.
function switchLeft(leftMsec, shownSinceMsec, nowMsec, periodMsec) {
    var spent = Number(nowMsec) - Number(shownSinceMsec)
    if (!(spent >= 0))
        spent = 0
    var left = Math.min(Number(leftMsec), Number(periodMsec)) - spent
    return Math.max(1, Math.min(left, Number(periodMsec)))
}

// The screen saver's picture address for a "gui/screenSaverImg" value: qrc: and
// file: addresses as they are, an absolute path as a file; "" for anything else,
// which the screen saver shows as its background alone.
function pictureAddress(value) {
    var text = String(value === undefined || value === null ? "" : value).trim()
    if (/^(qrc|file):/.test(text))
        return text
    if (text.charAt(0) === "/")
        return "file://" + text.split("/").map(encodeURIComponent).join("/")
    return ""
}

// An amount of money in the locale's number format; the sign is the fare system's
// when given, so a passenger's language never changes the money.
function currency(amount, locale, symbol) {
    var value = Number(amount)
    if (isNaN(value))
        value = 0
    return symbol ? value.toLocaleCurrencyString(locale, symbol) : value.toLocaleCurrencyString(locale)
}

// A date as "d MMM yy" in the locale; empty when there is none.
function shortDate(value, locale) {
    if (!value)
        return ""
    var date = new Date(value)
    if (isNaN(date.getTime()))
        return ""
    return date.toLocaleDateString(locale, "d MMM yy")
}

// A details value shown as it comes.
function plain(value) {
    if (value === undefined || value === null)
        return ""
    return String(value)
}
