#include "GUIManager.h"

// The one place where every configuration key and its default is declared. The
// value types matter: the settings file's text is compared against them.
const QVariantMap GUIManager::Defaults = {
    {QStringLiteral("log/level"), 2},
    {QStringLiteral("log/syslog"), true},
    {QStringLiteral("log/stderr"), true},
    {QStringLiteral("log/color"), false},
    {QStringLiteral("mqtt/host"), QStringLiteral("localhost")},
    {QStringLiteral("mqtt/port"), 1883},
    {QStringLiteral("mqtt/username"), QString()},
    {QStringLiteral("mqtt/password"), QString()},
    {QStringLiteral("mqtt/base"), QStringLiteral("vexa/ui")},
    {QStringLiteral("gui/settingsPin"), QStringLiteral("7391")},
    {QStringLiteral("gui/showCursor"), true},
    {QStringLiteral("gui/deviceId"), QStringLiteral("/etc/serialnumber")},
    {QStringLiteral("gui/locale"), QStringLiteral("el_GR")},
    {QStringLiteral("gui/displayOffMin"), 3},
    {QStringLiteral("gui/shutdownDelaySec"), 60},
    {QStringLiteral("gui/showErrorDesc"), false},
    {QStringLiteral("gui/screenSaverBg"), QStringLiteral("black")},
    {QStringLiteral("gui/screenSaverImg"), QStringLiteral("qrc:/qml/images/Icons/vexa.png")},
    {QStringLiteral("gui/animSwitchSec"), 0},
    {QStringLiteral("topics/barcode"), QStringLiteral("vexa/barcode")},
    {QStringLiteral("topics/blm"), QStringLiteral("vexa/blm")},
    {QStringLiteral("topics/board"), QStringLiteral("vexa/board")},
    {QStringLiteral("topics/inspector"), QStringLiteral("vexa/inspector")},
    {QStringLiteral("topics/network"), QStringLiteral("vexa/network")},
    {QStringLiteral("topics/device"), QStringLiteral("vexa/device")},
};
