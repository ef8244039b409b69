.pragma library

// Pure helpers of the shared controls, kept apart so tests can call them directly.

var leftArrow = "\u2190"

// Key labels of the number pad, top-left to bottom-right.
function keyLabels(phoneLayout, clearLabel) {
    var digits = phoneLayout ? ["1", "2", "3", "4", "5", "6", "7", "8", "9"]
                             : ["7", "8", "9", "4", "5", "6", "1", "2", "3"]
    return digits.concat([leftArrow, "0", clearLabel])
}

// Which callback a key position (1-based) triggers: the two non-digit keys
// sit at positions 10 and 12.
function keyRole(position) {
    if (position === 10)
        return "left"
    if (position === 12)
        return "right"
    return "number"
}

// The language the header's flag button switches to.
function nextLanguage(language) {
    return language === "el_GR" ? "en_IE" : "el_GR"
}

// The flag shown on the header button: the language a tap would switch to.
function flagFor(language) {
    return language === "el_GR" ? "qrc:/qml/images/Flags/uk.png" : "qrc:/qml/images/Flags/gr.png"
}
