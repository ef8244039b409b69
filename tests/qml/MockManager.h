#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QStringList>
#include <QTranslator>
#include <QVariantMap>

// Stands in for the GUI manager: the same properties, signals and slots the
// passenger screens use, plus hooks for tests to drive it and read what was called.
class MockManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(QString deviceId READ deviceId WRITE setDeviceId NOTIFY deviceIdChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString dynTr READ dynTr NOTIFY languageChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(bool showCursor READ showCursor WRITE setShowCursor NOTIFY showCursorChanged)
    Q_PROPERTY(int animSwitchSec READ animSwitchSec WRITE setAnimSwitchSec NOTIFY animSwitchSecChanged)
    Q_PROPERTY(QColor screenSaverBg READ screenSaverBg NOTIFY screenSaverBgChanged)
    Q_PROPERTY(QString screenSaverImg READ screenSaverImg NOTIFY screenSaverImgChanged)
    // Test side: calls the screens made.
    Q_PROPERTY(int maintenanceRequests READ maintenanceRequests NOTIFY callsChanged)
    Q_PROPERTY(QStringList savedDeviceIds READ savedDeviceIds NOTIFY callsChanged)
    Q_PROPERTY(QStringList loginPins READ loginPins NOTIFY callsChanged)
    Q_PROPERTY(int logoutRequests READ logoutRequests NOTIFY callsChanged)
    Q_PROPERTY(bool catalogueLoaded READ catalogueLoaded NOTIFY languageChanged)
    Q_PROPERTY(QString currencySymbol MEMBER m_currencySymbol NOTIFY currencySymbolChanged)

public:
    using QObject::QObject;

    QString screen() const { return m_screen; }
    QString deviceId() const { return m_deviceId; }
    QString language() const { return m_language; }
    QString dynTr() const { return QString(); }
    QString message() const { return m_message; }
    bool showCursor() const { return m_showCursor; }
    int animSwitchSec() const { return m_animSwitchSec; }
    QColor screenSaverBg() const { return QColor(QStringLiteral("black")); }
    QString screenSaverImg() const { return QStringLiteral("qrc:/qml/images/Icons/vexa.png"); }
    int maintenanceRequests() const { return m_maintenanceRequests; }
    QStringList savedDeviceIds() const { return m_savedDeviceIds; }
    QStringList loginPins() const { return m_loginPins; }
    int logoutRequests() const { return m_logoutRequests; }
    bool catalogueLoaded() const { return m_catalogueLoaded; }

    void setEngine(QQmlEngine* engine);

public slots:
    void setScreen(const QString& value);
    void setDeviceId(const QString& value);
    void setLanguage(const QString& value);
    void setMessage(const QString& value);
    void setShowCursor(bool value);
    void setAnimSwitchSec(int value);
    void setMaintenanceScreen();
    void saveDeviceIdRequest(const QString& deviceId);
    void settingsLoginRequest(const QString& pin);
    void settingsLogoutRequest();

    // Test hooks.
    void reset();
    void setTransaction(const QVariantMap& fields);
    void reportError(const QString& error) { emit errorOccured(error); }
    void grantAccess() { emit settingsAccessGranted(); }
    void denyAccess() { emit settingsAccessDenied(); }

signals:
    void screenChanged();
    void deviceIdChanged();
    void languageChanged();
    void settingsAccessGranted();
    void settingsAccessDenied();
    void messageChanged();
    void showCursorChanged();
    void errorOccured(QString error);
    void screenSaverBgChanged();
    void screenSaverImgChanged();
    void animSwitchSecChanged();
    void callsChanged();
    void currencySymbolChanged();

private:
    QPointer<QQmlEngine> m_engine;
    QString m_screen;
    QString m_deviceId;
    QString m_language;
    QString m_message;
    bool m_showCursor = true;
    int m_animSwitchSec = 0;
    int m_maintenanceRequests = 0;
    QStringList m_savedDeviceIds;
    QStringList m_loginPins;
    int m_logoutRequests = 0;
    QTranslator m_translator;
    bool m_catalogueLoaded = false;
    QString m_currencySymbol;
};
