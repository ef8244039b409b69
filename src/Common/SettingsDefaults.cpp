#include "SettingsKeys.h"

#include <QVariantMap>

// The one place where every configuration key and its default is declared. The
// value types matter: the settings file's text is compared against them.
const QVariantMap& manager::keys::defaults()
{
    static const QVariantMap map = {
        { manager::keys::LogLevel, 2 },
        { manager::keys::LogSyslog, true },
        { manager::keys::LogStderr, true },
        { manager::keys::LogColor, false },
        { manager::keys::MqttHost, QStringLiteral("localhost") },
        { manager::keys::MqttPort, 1883 },
        { manager::keys::MqttUsername, QString() },
        { manager::keys::MqttPassword, QString() },
        { manager::keys::MqttBase, QStringLiteral("vexa/ui") },
        { manager::keys::SettingsPin, QStringLiteral("7391") },
        { manager::keys::ShowCursor, true },
        { manager::keys::DeviceId, QStringLiteral("/etc/serialnumber") },
        { manager::keys::Locale, QStringLiteral("el_GR") },
        { manager::keys::DisplayOffMin, 3 },
        { manager::keys::ShutdownDelaySec, 60 },
        { manager::keys::ShowErrorDesc, false },
        { manager::keys::ScreenSaverBg, QStringLiteral("black") },
        { manager::keys::ScreenSaverImg, QStringLiteral("qrc:/qml/images/Icons/vexa.png") },
        { manager::keys::AnimSwitchSec, 0 },
        { manager::keys::TopicsBarcode, QStringLiteral("vexa/barcode") },
        { manager::keys::TopicsBlm, QStringLiteral("vexa/blm") },
        { manager::keys::TopicsBoard, QStringLiteral("vexa/board") },
        { manager::keys::TopicsInspector, QStringLiteral("vexa/inspector") },
        { manager::keys::TopicsNetwork, QStringLiteral("vexa/network") },
        { manager::keys::TopicsDevice, QStringLiteral("vexa/device") },
    };
    return map;
}
