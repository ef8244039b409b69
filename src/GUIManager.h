#pragma once

#include "Diagnostics.h"
#include "MqttClient.h"

#include <QColor>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QTimer>
#include <QTranslator>
#include <QVariantMap>

#include <functional>

class Config;
class DeviceIdStore;
class EventManager;
class FareCurrency;
class GuiService;
class IgnitionControl;
class MaintenanceBarcode;
class ScreenController;
class Translation;
class SessionManager;
class Transaction;
class QQmlContext;

namespace manager {
class Board;
class Clock;
class Inspector;
class Network;
class Update;
class Validator;
} // namespace manager

// The QML's front: owns the QML engine, the MQTT client and every service client,
// and wires them to the helpers that do the work (which screen is shown, the
// program's own MQTT service, the device id file, the maintenance barcode).
class GUIManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(QString deviceId READ deviceId WRITE setDeviceId NOTIFY deviceIdChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString dynTr READ dynTr NOTIFY languageChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool showCursor READ showCursor WRITE setShowCursor NOTIFY showCursorChanged)
    Q_PROPERTY(bool showErrorDesc READ showErrorDesc WRITE setShowErrorDesc NOTIFY showErrorDescChanged)
    Q_PROPERTY(int displayOffMin READ displayOffMin WRITE setDisplayOffMin NOTIFY displayOffMinChanged)
    Q_PROPERTY(int shutdownDelaySec READ shutdownDelaySec WRITE setShutdownDelaySec NOTIFY shutdownDelaySecChanged)
    Q_PROPERTY(QColor screenSaverBg READ screenSaverBg NOTIFY screenSaverBgChanged)
    Q_PROPERTY(QString screenSaverImg READ screenSaverImg NOTIFY screenSaverImgChanged)
    Q_PROPERTY(Diagnostics* diagnostics READ diagnostics NOTIFY diagnosticsChanged)
    Q_PROPERTY(manager::Update* update READ update NOTIFY updateChanged)
    Q_PROPERTY(manager::Clock* clock READ clock NOTIFY clockChanged)
    Q_PROPERTY(int animSwitchSec READ animSwitchSec WRITE setAnimSwitchSec NOTIFY animSwitchSecChanged)
    // The fare system's money sign, whatever language the passenger chose.
    Q_PROPERTY(QString currencySymbol READ currencySymbol NOTIFY currencySymbolChanged)

public:
    // The built-in configuration: every key of the system with its default value.
    static const QVariantMap Defaults;

    // What tests replace; the device uses the defaults.
    struct Options {
        manager::MqttClient::TransportFactory transport; // empty: libmosquitto
        QString eventLogPath;                            // empty: "events.ini" beside the program
        unsigned mqttRetryMillis = 3000;
    };

    explicit GUIManager(Config& config, QObject* parent = nullptr);
    GUIManager(Config& config, const Options& options, QObject* parent = nullptr);
    ~GUIManager() override;

    void load();

    QString screen() const;
    QString deviceId() const;
    QString language() const;
    QString currencySymbol() const;
    QString dynTr() const { return QString(); }
    QString message() const;
    bool showCursor() const;
    bool showErrorDesc() const;
    int displayOffMin() const;
    int shutdownDelaySec() const;
    QColor screenSaverBg() const;
    QString screenSaverImg() const;
    int animSwitchSec() const;
    Diagnostics* diagnostics() const { return m_diagnostics; }
    manager::Update* update() const { return m_update; }
    manager::Clock* clock() const { return m_clock; }

    void setDeviceId(const QString& value);
    void setLanguage(const QString& value);
    void setShowCursor(bool value);
    void setShowErrorDesc(bool value);
    void setDisplayOffMin(int value);
    void setShutdownDelaySec(int value);
    void setAnimSwitchSec(int value);
    void setMessage(const QString& text);

    // C or K followed by eight digits.
    static bool isValidDeviceId(const QString& id);

    // The validator's reason code, and its description when configured.
    QString validatorReason() const;

    // Members, for the tools and tests that drive the manager without QML.
    QQmlApplicationEngine& engine() { return *m_engine; }
    manager::MqttClient& mqtt() { return *m_mqtt; }
    manager::Validator* validator() const { return m_validator; }
    manager::Board* board() const { return m_board; }
    manager::Inspector* inspector() const { return m_inspector; }
    manager::Network* network() const { return m_network; }
    SessionManager* session() const { return m_session; }
    EventManager* eventLog() const { return m_eventLog; }
    QVariantMap transactionMap() const { return m_transaction; }

signals:
    void screenChanged();
    void deviceIdChanged();
    void languageChanged();
    void currencySymbolChanged();
    void settingsAccessGranted();
    void settingsAccessDenied();
    void messageChanged();
    void showCursorChanged();
    void showErrorDescChanged();
    void displayOffMinChanged();
    void shutdownDelaySecChanged();
    void errorOccured(QString error);
    void diagnosticsChanged();
    void updateChanged();
    void clockChanged();
    void barcodeConfigurationApplied(QStringList configList);
    void screenSaverBgChanged();
    void screenSaverImgChanged();
    void animSwitchSecChanged();

public slots:
    void settingsLoginRequest(const QString& pin);
    void settingsLogoutRequest();
    void setIdleScreen();
    void setOutOfOrderScreen(const QString& message);
    void setScreen(const QString& value);
    void setScreen(const QString& value, int timeout);
    void saveDeviceIdRequest(const QString& deviceId);
    void setMaintenanceScreen();
    void shutdownRequest();
    void rebootRequest();
    void exitRequest();

private slots:
    void onCardRetry();
    void onTicketValidated(const Transaction& transaction);
    void onSessionActiveChanged();
    void onMaintenanceBarcodeScanned(const QJsonObject& object);
    void onConfigChanged(const QVariantMap& changes);
    void onConfigFileChanged();

private:
    void initLog();
    void initConfig();
    void initQml();
    void initMqtt();
    void initManagers();
    bool sessionActive() const;
    void showBusy(const QString& text);
    template <typename T> void setSetting(const QString& key, T value, T current);
    void pushEvent(const QString& category, const QString& name, const QString& description = QString());
    void playSound(const QString& path);

    QQmlApplicationEngine* m_engine;
    QQmlContext* m_qmlContext;
    Translation* m_translation;
    Config& m_config;
    manager::MqttClient* m_mqtt;
    manager::Validator* m_validator;
    manager::Board* m_board;
    manager::Inspector* m_inspector;
    manager::Network* m_network;
    manager::Update* m_update;
    manager::Clock* m_clock;
    FareCurrency* m_currency;
    SessionManager* m_session;
    DeviceIdStore* m_deviceIds;
    ScreenController* m_screens;
    EventManager* m_eventLog;
    Diagnostics* m_diagnostics;
    GuiService* m_service;
    MaintenanceBarcode* m_barcode;
    IgnitionControl* m_ignition;

    QVariantMap m_transaction;
};
