#pragma once

#include <QString>
#include <QVariantMap>

namespace manager::keys {

// Every key of the settings file, as the store, the command line and the GUI manager
// name it; a key spelt once cannot be misspelt in another place.
inline const QString LogLevel = QStringLiteral("log/level");
inline const QString LogSyslog = QStringLiteral("log/syslog");
inline const QString LogStderr = QStringLiteral("log/stderr");
inline const QString LogColor = QStringLiteral("log/color");

inline const QString MqttHost = QStringLiteral("mqtt/host");
inline const QString MqttPort = QStringLiteral("mqtt/port");
inline const QString MqttUsername = QStringLiteral("mqtt/username");
inline const QString MqttPassword = QStringLiteral("mqtt/password");
inline const QString MqttBase = QStringLiteral("mqtt/base");

inline const QString SettingsPin = QStringLiteral("gui/settingsPin");
inline const QString ShowCursor = QStringLiteral("gui/showCursor");
inline const QString DeviceId = QStringLiteral("gui/deviceId");
inline const QString Locale = QStringLiteral("gui/locale");
inline const QString DisplayOffMin = QStringLiteral("gui/displayOffMin");
inline const QString ShutdownDelaySec = QStringLiteral("gui/shutdownDelaySec");
inline const QString ShowErrorDesc = QStringLiteral("gui/showErrorDesc");
inline const QString ScreenSaverBg = QStringLiteral("gui/screenSaverBg");
inline const QString ScreenSaverImg = QStringLiteral("gui/screenSaverImg");
inline const QString AnimSwitchSec = QStringLiteral("gui/animSwitchSec");

inline const QString TopicsBarcode = QStringLiteral("topics/barcode");
inline const QString TopicsBlm = QStringLiteral("topics/blm");
inline const QString TopicsBoard = QStringLiteral("topics/board");
inline const QString TopicsInspector = QStringLiteral("topics/inspector");
inline const QString TopicsNetwork = QStringLiteral("topics/network");
inline const QString TopicsDevice = QStringLiteral("topics/device");

// The built-in configuration: every key above with its default value. The value
// types matter: the settings file's text is compared against them.
const QVariantMap& defaults();

} // namespace manager::keys
