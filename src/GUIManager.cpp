#include "GUIManager.h"

#include "Board.h"
#include "Clock.h"
#include "Config.h"
#include "Connection.h"
#include "DeviceIdStore.h"
#include "Diagnostics.h"
#include "Event.h"
#include "EventManager.h"
#include "FareCurrency.h"
#include "GuiLog.h"
#include "GuiService.h"
#include "IPv4.h"
#include "IgnitionControl.h"
#include "Inspector.h"
#include "Logger.h"
#include "MaintenanceBarcode.h"
#include "Network.h"
#include "PictureProvider.h"
#include "SceneGraph.h"
#include "ScreenController.h"
#include "Secrets.h"
#include "SessionEvents.h"
#include "SessionManager.h"
#include "SettingsKeys.h"
#include "Transaction.h"
#include "Translation.h"
#include "Update.h"
#include "Validator.h"
#include "WindowFont.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QUrl>
#include <QtGlobal>
#include <QtQml>

// The keys and their defaults live with the settings store, beneath the presentation.
const QVariantMap GUIManager::Defaults = manager::keys::defaults();

GUIManager::GUIManager(Config& config, QObject* parent) : GUIManager(config, Options(), parent) {}

GUIManager::GUIManager(Config& config, const Options& options, QObject* parent)
    : QObject(parent),
      m_engine(new QQmlApplicationEngine()),
      m_qmlContext(m_engine->rootContext()),
      m_translation(new Translation(*m_engine, config)),
      m_config(config),
      m_mqtt(new manager::MqttClient())
{
    if (options.transport)
        m_mqtt->setTransportFactory(options.transport);
    m_mqtt->setRetryMillis(options.mqttRetryMillis);

    m_validator = new manager::Validator(*m_mqtt, m_config.get(manager::keys::TopicsBlm).toString(), this);
    m_board = new manager::Board(*m_mqtt, m_config.get(manager::keys::TopicsBoard).toString(), this);
    m_inspector = new manager::Inspector(*m_mqtt, m_config.get(manager::keys::TopicsInspector).toString(), this);
    m_network = new manager::Network(*m_mqtt, m_config.get(manager::keys::TopicsNetwork).toString(), this);
    m_update = new manager::Update(*m_mqtt, m_config.get(manager::keys::TopicsDevice).toString(), this);
    m_clock = new manager::Clock(*m_mqtt, m_config.get(manager::keys::TopicsDevice).toString(), this);
    m_currency = new FareCurrency(*m_clock, m_config, this);
    m_session = new SessionManager(m_config, this);
    m_deviceIds = new DeviceIdStore(m_config, this);
    // The screen time-out and display-off timers.
    m_screens = new ScreenController(m_config, *m_deviceIds, *m_session, *m_validator, *m_board, this);
    m_eventLog = options.eventLogPath.isEmpty() ? new EventManager(m_config, this)
                                                : new EventManager(m_config, options.eventLogPath, this);
    m_diagnostics = new Diagnostics(m_deviceIds->id(), *m_board, *m_network, *m_validator, this);
    m_service = new GuiService(*m_mqtt, m_config, *m_session, this);
    m_barcode = new MaintenanceBarcode(*m_session, *m_validator, *m_network, *m_board, *m_inspector, this);
    m_ignition = new IgnitionControl(m_config, *m_board, *m_inspector, *m_session, *m_screens, *m_eventLog, this);
    connect(m_deviceIds, &DeviceIdStore::idChanged, this, &GUIManager::deviceIdChanged);
    connect(m_deviceIds, &DeviceIdStore::saveFailed, this, &GUIManager::errorOccured);
    connect(m_screens, &ScreenController::messageChanged, this, &GUIManager::messageChanged);
    connect(m_translation, &Translation::languageChanged, this, &GUIManager::languageChanged);
    connect(m_currency, &FareCurrency::symbolChanged, this, &GUIManager::currencySymbolChanged);
    connect(m_service, &GuiService::connectionMessage, this, &GUIManager::setMessage);
    connect(m_service, &GuiService::disconnected, this,
            [this] { setOutOfOrderScreen(QStringLiteral("Disconnected")); });

    m_deviceIds->loadDeviceId();
    initLog();
    initConfig();
    initQml();
    initMqtt();
    initManagers();
}

GUIManager::~GUIManager()
{
    // The QML goes first, so no binding runs against a half-destroyed manager; then the
    // members in reverse order of construction.
    delete m_engine;
    delete m_ignition;
    delete m_barcode;
    delete m_service;
    delete m_diagnostics;
    delete m_eventLog;
    delete m_screens;
    delete m_deviceIds;
    delete m_session;
    delete m_currency;
    delete m_clock;
    delete m_update;
    delete m_network;
    delete m_inspector;
    delete m_board;
    delete m_validator;
    delete m_mqtt;
    delete m_translation;
}

void GUIManager::load()
{
    registerWindowFont();
    m_engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    if (auto* window = qobject_cast<QQuickWindow*>(m_engine->rootObjects().value(0))) {
        // The settings screen is built last, and its controls use the style's effect.
        checkSceneGraphOf(window, QStringLiteral("screen_Settings"));
    }
    setLanguage(m_config.get(manager::keys::Locale).toString());
    pushEvent(QStringLiteral("General"), QStringLiteral("Application started"));
}

// ---------------------------------------------------------------- configuration-backed properties

bool GUIManager::showCursor() const { return m_config.get(manager::keys::ShowCursor).toBool(); }
bool GUIManager::showErrorDesc() const { return m_config.get(manager::keys::ShowErrorDesc).toBool(); }
int GUIManager::displayOffMin() const { return m_config.get(manager::keys::DisplayOffMin).toInt(); }
int GUIManager::shutdownDelaySec() const { return m_config.get(manager::keys::ShutdownDelaySec).toInt(); }
QColor GUIManager::screenSaverBg() const { return QColor(m_config.get(manager::keys::ScreenSaverBg).toString()); }
QString GUIManager::screenSaverImg() const { return m_config.get(manager::keys::ScreenSaverImg).toString(); }
int GUIManager::animSwitchSec() const { return m_config.get(manager::keys::AnimSwitchSec).toInt(); }

// The store announces the change; the property's signal follows from onConfigChanged.
template <typename T> void GUIManager::setSetting(const QString& key, T value, T current)
{
    if (value != current)
        m_config.set(key, value);
}

void GUIManager::setShowCursor(bool value) { setSetting(manager::keys::ShowCursor, value, showCursor()); }
void GUIManager::setShowErrorDesc(bool value) { setSetting(manager::keys::ShowErrorDesc, value, showErrorDesc()); }
void GUIManager::setDisplayOffMin(int value) { setSetting(manager::keys::DisplayOffMin, value, displayOffMin()); }
void GUIManager::setShutdownDelaySec(int value) { setSetting(manager::keys::ShutdownDelaySec, value, shutdownDelaySec()); }
void GUIManager::setAnimSwitchSec(int value) { setSetting(manager::keys::AnimSwitchSec, value, animSwitchSec()); }
QString GUIManager::screen() const { return m_screens->screen(); }
QString GUIManager::deviceId() const { return m_deviceIds->id(); }
QString GUIManager::message() const { return m_screens->message(); }
void GUIManager::setMessage(const QString& text) { m_screens->setMessage(text); }

// ---------------------------------------------------------------- set-up

void GUIManager::initLog()
{
    manager::Logger* logger = manager::Logger::instance();
    logger->setLevel(m_config.get(manager::keys::LogLevel).toInt());
    logger->setStderr(m_config.get(manager::keys::LogStderr).toBool());
    logger->setSyslog(m_config.get(manager::keys::LogSyslog).toBool());
    logger->setColor(m_config.get(manager::keys::LogColor).toBool());
}

void GUIManager::initConfig()
{
    connect(&m_config, &Config::configChanged, this, &GUIManager::onConfigChanged);
    connect(&m_config, &Config::configFileChanged, this, &GUIManager::onConfigFileChanged);
    m_config.print();
}

void GUIManager::onConfigFileChanged()
{
    GUI_LOG(qWarning) << "WARN: Configuration file changed!";
    m_config.print();
}

void GUIManager::initQml()
{
    QQuickStyle::setStyle(QStringLiteral("Material"));
    GUI_LOG(qInfo) << "QtQuick Style name is : " << QQuickStyle::name();

    qmlRegisterType<Transaction>("com.vexa.ticketing.transaction", 1, 0, "Transaction");
    qmlRegisterType<manager::Connection>("com.vexa.network.connection", 1, 0, "Connection");
    qmlRegisterType<IPv4>("com.vexa.network.ipv4", 1, 0, "IPv4");
    // The header only names these; the settings pages reach them through the manager.
    qRegisterMetaType<manager::Clock*>("manager::Clock*");
    qRegisterMetaType<manager::Update*>("manager::Update*");

    m_transaction = Transaction().toMap();
    addPictureProviders(m_engine);
    ShaderFreeStyle::installIfNeeded(m_engine);
    m_qmlContext->setContextProperty(QStringLiteral("manager"), this);
    m_qmlContext->setContextProperty(QStringLiteral("board"), m_board);
    m_qmlContext->setContextProperty(QStringLiteral("inspector"), m_inspector);
    m_qmlContext->setContextProperty(QStringLiteral("transaction"), m_transaction);
    m_qmlContext->setContextProperty(QStringLiteral("eventLogManager"), m_eventLog);
    m_qmlContext->setContextProperty(QStringLiteral("network"), m_network);
    m_qmlContext->setContextProperty(QStringLiteral("validatorManager"), m_validator);

    setScreen(QStringLiteral("Busy"), 10000);
    setMessage(tr("Initializing"));
    setShowCursor(showCursor());
}

void GUIManager::initManagers()
{
    m_screens->followValidator();
    connect(m_validator, &manager::Validator::cardDetected, this, [](const QString& uid, const QString& type) {
        GUI_LOG(qWarning) << QStringLiteral("Validator card detected : uid=%1, type=%2").arg(uid, type);
    });
    connect(m_validator, &manager::Validator::cardRemoved, this,
            [] { GUI_LOG(qWarning) << "Validator card removed"; });
    connect(m_validator, &manager::Validator::cardRetry, this, &GUIManager::onCardRetry);
    connect(m_validator, &manager::Validator::ticketValidated, this, &GUIManager::onTicketValidated);
    connect(m_validator, &manager::Validator::maintenanceBarcodeScanned, this,
            &GUIManager::onMaintenanceBarcodeScanned);
    connect(m_barcode, &MaintenanceBarcode::applied, this, &GUIManager::barcodeConfigurationApplied);
    connect(m_barcode, &MaintenanceBarcode::rejected, this, &GUIManager::errorOccured);
    m_ignition->watchBoard();
    connect(m_session, &SessionManager::accessGranted, this, &GUIManager::settingsAccessGranted);
    connect(m_session, &SessionManager::accessDenied, this, &GUIManager::settingsAccessDenied);
    connect(m_session, &SessionManager::expired, this, &GUIManager::setIdleScreen);
    connect(m_session, &SessionManager::sessionActiveChanged, this, &GUIManager::onSessionActiveChanged);
    // The display rule hears a screen change before anyone outside does.
    m_screens->watchDisplay();
    connect(m_screens, &ScreenController::screenChanged, this, &GUIManager::screenChanged);
    connect(m_inspector, &manager::Inspector::systemRebootStarted, this, [this] { showBusy(tr("Rebooting")); });
    connect(m_inspector, &manager::Inspector::systemShutdownStarted, this, [this] { showBusy(tr("Shutting down")); });
}

// ---------------------------------------------------------------- screens

void GUIManager::setScreen(const QString& value) { m_screens->setScreen(value); }
void GUIManager::setScreen(const QString& value, int timeout) { m_screens->setScreen(value, timeout); }
bool GUIManager::sessionActive() const { return m_session->sessionActive(); }
void GUIManager::setIdleScreen() { m_screens->setIdleScreen(); }
void GUIManager::setOutOfOrderScreen(const QString& message) { m_screens->setOutOfOrderScreen(message); }
QString GUIManager::validatorReason() const { return m_screens->validatorReason(); }

void GUIManager::playSound(const QString& path) { m_inspector->audioPlay(path); }

void GUIManager::onCardRetry()
{
    GUI_LOG(qWarning) << "Validator card retry";
    if (sessionActive())
        return;
    playSound(gui::InvalidSound);
    m_screens->showRetry();
}

void GUIManager::onTicketValidated(const Transaction& transaction)
{
    // The sound goes out first: handing the transaction to the screens re-evaluates
    // their bindings, and the passenger should not wait for that to hear the answer.
    const bool session = sessionActive();
    if (!session)
        playSound(transaction.valid() ? gui::ValidSound : gui::InvalidSound);
    const QVariantMap map = transaction.toMap();
    GUI_LOG(qWarning) << "Validator ticket validated : " << int(transaction.type());
    GUI_LOG(qWarning) << "Valid : " << (transaction.valid() ? "true" : "false");
    GUI_LOG(qWarning) << "Contents : "
                      << QString::fromUtf8(QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact));
    m_transaction = map;
    m_qmlContext->setContextProperty(QStringLiteral("transaction"), map);
    if (!session)
        m_screens->showOutcome(transaction);
}

void GUIManager::pushEvent(const QString& category, const QString& name, const QString& description)
{
    m_eventLog->push(new Event(category, name, description, QDateTime::currentDateTime()));
}

void GUIManager::onSessionActiveChanged()
{
    const bool active = sessionActive();
    if (!active)
        setIdleScreen();
    m_eventLog->push(sessionEvent(active, m_session->user().value_or(User())));
    m_service->publishStatus();
}

// Long enough for the system to go down before the idle rule would return.
void GUIManager::showBusy(const QString& text)
{
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(text);
}

void GUIManager::rebootRequest()
{
    showBusy(tr("Rebooting"));
    m_inspector->systemReboot();
}

void GUIManager::shutdownRequest()
{
    showBusy(tr("Shutting down"));
    m_inspector->systemShutdown();
}

void GUIManager::exitRequest()
{
    showBusy(tr("Exiting"));
    QTimer::singleShot(2000, Qt::PreciseTimer, qApp, [] { QCoreApplication::exit(0); });
}

void GUIManager::setMaintenanceScreen()
{
    if (sessionActive())
        setScreen(QStringLiteral("Settings"));
    else if (screen() == QLatin1String("Login"))
        setIdleScreen();
    else
        setScreen(QStringLiteral("Login"), 15000);
}

void GUIManager::settingsLoginRequest(const QString& pin) { m_session->loginRequest(pin); }

void GUIManager::settingsLogoutRequest() { m_session->logoutRequest(); }

// ---------------------------------------------------------------- broker and own service

void GUIManager::initMqtt() { m_service->initMqtt(); }

void GUIManager::onConfigChanged(const QVariantMap& changes)
{
    GUI_LOG(qDebug) << "Config changed : "
                    << manager::maskSecrets(
                           QString::fromUtf8(QJsonDocument::fromVariant(changes).toJson(QJsonDocument::Compact)));
    static const QRegularExpression logKey(QStringLiteral("log\\/.+"));
    static const QRegularExpression mqttKey(QStringLiteral("mqtt\\/.+"));
    auto has = [&changes](const QString& k) { return changes.contains(k); };
    auto matches = [&changes](const QRegularExpression& re) {
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            if (re.match(it.key()).hasMatch())
                return true;
        return false;
    };

    if (has(manager::keys::DeviceId)) {
        GUI_LOG(qInfo) << "Device id changed. Re-loading";
        m_deviceIds->loadDeviceId();
    } else if (has(manager::keys::ShowCursor)) {
        GUI_LOG(qInfo) << "Cursor changed : " << (showCursor() ? "visible" : "hidden");
        emit showCursorChanged();
    } else if (has(manager::keys::DisplayOffMin)) {
        GUI_LOG(qInfo) << "Display OFF interval changed : " << displayOffMin() << " min(s)";
        emit displayOffMinChanged();
    } else if (has(manager::keys::ShutdownDelaySec)) {
        GUI_LOG(qInfo) << "Shutdown delay changed : " << shutdownDelaySec() << " sec(s)";
        m_ignition->updateBoardShutdownDelay();
        emit shutdownDelaySecChanged();
    } else if (has(manager::keys::Locale)) {
        setLanguage(changes.value(manager::keys::Locale).toString());
    } else if (has(manager::keys::ShowErrorDesc)) {
        GUI_LOG(qInfo) << "Show Error description changed : " << (showErrorDesc() ? "YES" : "NO");
        setMessage(validatorReason());
        emit showErrorDescChanged();
    } else if (has(manager::keys::ScreenSaverBg)) {
        GUI_LOG(qInfo) << "Screen-saver background changed : " << m_config.get(manager::keys::ScreenSaverBg).toString();
        emit screenSaverBgChanged();
    } else if (has(manager::keys::ScreenSaverImg)) {
        GUI_LOG(qInfo) << "Screen-saver image changed : " << screenSaverImg();
        emit screenSaverImgChanged();
    } else if (has(manager::keys::AnimSwitchSec)) {
        GUI_LOG(qInfo) << "GIFs animation changed : " << animSwitchSec() << " msec(s)";
        emit animSwitchSecChanged();
    } else if (matches(logKey)) {
        GUI_LOG(qInfo) << "Log configuration changed. Applying.";
        initLog();
    } else if (matches(mqttKey)) {
        GUI_LOG(qInfo) << "MQTT configuration changed. Applying.";
        initMqtt();
    }
    m_service->publishConfig();
}

// ---------------------------------------------------------------- device id

void GUIManager::setDeviceId(const QString& value) { m_deviceIds->setId(value); }

bool GUIManager::isValidDeviceId(const QString& id) { return DeviceIdStore::isValidDeviceId(id); }

void GUIManager::saveDeviceIdRequest(const QString& deviceId)
{
    GUI_LOG(qInfo) << "Save Device Id request : " << deviceId;
    if (!isValidDeviceId(deviceId)) {
        GUI_LOG(qWarning) << "WARN: Refusing invalid device id : " << deviceId.left(64);
        return;
    }
    setDeviceId(deviceId);
    setIdleScreen();
}

// ---------------------------------------------------------------- language

QString GUIManager::language() const { return m_translation->language(); }
QString GUIManager::currencySymbol() const { return m_currency->symbol(); }
void GUIManager::setLanguage(const QString& value) { m_translation->setLanguage(value); }

// ---------------------------------------------------------------- maintenance barcode

void GUIManager::onMaintenanceBarcodeScanned(const QJsonObject& object) { m_barcode->apply(object); }
