#include "MockManager.h"

#include <QCoreApplication>
#include <QQmlContext>

void MockManager::setEngine(QQmlEngine* engine)
{
    m_engine = engine;
    engine->rootContext()->setContextProperty(QStringLiteral("manager"), this);
    setTransaction(QVariantMap());
}

void MockManager::setScreen(const QString& value)
{
    if (value == m_screen)
        return;
    m_screen = value;
    emit screenChanged();
}

void MockManager::setDeviceId(const QString& value)
{
    if (value == m_deviceId)
        return;
    m_deviceId = value;
    emit deviceIdChanged();
}

void MockManager::setLanguage(const QString& value)
{
    if (value == m_language)
        return;
    m_language = value;
    // Switches the catalogue, when it is built in.
    QCoreApplication::removeTranslator(&m_translator);
    m_catalogueLoaded = false;
    if (value == QLatin1String("el_GR")
        && m_translator.load(QStringLiteral(":/qml/translations/Ticora_el_GR.qm"))) {
        QCoreApplication::installTranslator(&m_translator);
        m_catalogueLoaded = true;
    }
    // No engine retranslate: the screens must follow through dynTr alone.
    emit languageChanged();
}

void MockManager::setMessage(const QString& value)
{
    if (value == m_message)
        return;
    m_message = value;
    emit messageChanged();
}

void MockManager::setShowCursor(bool value)
{
    if (value == m_showCursor)
        return;
    m_showCursor = value;
    emit showCursorChanged();
}

void MockManager::setAnimSwitchSec(int value)
{
    if (value == m_animSwitchSec)
        return;
    m_animSwitchSec = value;
    emit animSwitchSecChanged();
}

void MockManager::setMaintenanceScreen()
{
    ++m_maintenanceRequests;
    emit callsChanged();
}

void MockManager::saveDeviceIdRequest(const QString& deviceId)
{
    m_savedDeviceIds.append(deviceId);
    emit callsChanged();
}

void MockManager::settingsLoginRequest(const QString& pin)
{
    m_loginPins.append(pin);
    emit callsChanged();
}

void MockManager::settingsLogoutRequest()
{
    ++m_logoutRequests;
    emit callsChanged();
}

void MockManager::reset()
{
    setScreen(QString());
    setDeviceId(QString());
    setLanguage(QStringLiteral("en_IE"));
    setMessage(QString());
    setShowCursor(true);
    setAnimSwitchSec(0);
    setProperty("currencySymbol", QString());
    m_maintenanceRequests = 0;
    m_savedDeviceIds.clear();
    m_loginPins.clear();
    m_logoutRequests = 0;
    emit callsChanged();
    setTransaction(QVariantMap());
}

void MockManager::setTransaction(const QVariantMap& fields)
{
    if (!m_engine)
        return;
    // The same shape as a default transaction's field map: every key present.
    QVariantMap map{{QStringLiteral("valid"), false},
                    {QStringLiteral("type"), 0},
                    {QStringLiteral("denyReason"), QString()},
                    {QStringLiteral("denyReasonId"), 0},
                    {QStringLiteral("fareProduct"), QString()},
                    {QStringLiteral("passengeType"), QString()},
                    {QStringLiteral("details"), QVariantMap()}};
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        map.insert(it.key(), it.value());
    m_engine->rootContext()->setContextProperty(QStringLiteral("transaction"), map);
}
