#include "GUIManager.h"

#include "Board.h"
#include "Clock.h"
#include "Config.h"
#include "Connection.h"
#include "Diagnostics.h"
#include "Ethernet.h"
#include "Event.h"
#include "EventManager.h"
#include "IPv4.h"
#include "Inspector.h"
#include "Logger.h"
#include "Network.h"
#include "PictureProvider.h"
#include "SceneGraph.h"
#include "Secrets.h"
#include "ServiceClient.h"
#include "SessionManager.h"
#include "Transaction.h"
#include "Update.h"
#include "Validator.h"
#include "ValidatorConfig.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFontDatabase>
#include <QJsonDocument>
#include <QLocale>
#include <QQmlContext>
#include <QQuickStyle>
#include <QResource>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>
#include <QUrl>
#include <QtGlobal>
#include <QtQml>

#define GUI_LOG(level) level().noquote().nospace() << "[GUIManager] "

namespace {

const QString kValidSound = QStringLiteral("/opt/vexa/ticora/Valid.wav");
const QString kInvalidSound = QStringLiteral("/opt/vexa/ticora/Invalid.wav");
const QString kCatalogue = QStringLiteral(":/qml/translations/Ticora_el_GR.qm");

QString key(const char* k) { return QString::fromLatin1(k); }

} // namespace

GUIManager::GUIManager(Config& config, QObject* parent) : GUIManager(config, Options(), parent) {}

GUIManager::GUIManager(Config& config, const Options& options, QObject* parent)
    : QObject(parent),
      m_engine(new QQmlApplicationEngine()),
      m_qmlContext(m_engine->rootContext()),
      m_translator(new QTranslator()),
      m_config(config),
      m_mqtt(new manager::MqttClient())
{
    if (options.transport)
        m_mqtt->setTransportFactory(options.transport);
    m_mqtt->setRetryMillis(options.mqttRetryMillis);

    m_validator = new manager::Validator(*m_mqtt, m_config.get(key("topics/blm")).toString(), this);
    m_board = new manager::Board(*m_mqtt, m_config.get(key("topics/board")).toString(), this);
    m_inspector = new manager::Inspector(*m_mqtt, m_config.get(key("topics/inspector")).toString(), this);
    m_network = new manager::Network(*m_mqtt, m_config.get(key("topics/network")).toString(), this);
    m_update = new manager::Update(*m_mqtt, m_config.get(key("topics/device")).toString(), this);
    m_clock = new manager::Clock(*m_mqtt, m_config.get(key("topics/device")).toString(), this);
    m_screenTimer = new QTimer(this);
    m_displayOffTimer = new QTimer(this);
    // Screen time-outs are given to the millisecond; a coarse timer ends them early.
    m_screenTimer->setTimerType(Qt::PreciseTimer);
    m_displayOffTimer->setTimerType(Qt::PreciseTimer);
    m_session = new SessionManager(m_config, this);
    m_eventLog = options.eventLogPath.isEmpty() ? new EventManager(m_config, this)
                                                : new EventManager(m_config, options.eventLogPath, this);
    m_diagnostics = new Diagnostics(m_deviceId, *m_board, *m_network, *m_validator, this);

    loadDeviceId();
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
    delete m_diagnostics;
    delete m_eventLog;
    delete m_session;
    delete m_displayOffTimer;
    delete m_screenTimer;
    delete m_clock;
    delete m_update;
    delete m_network;
    delete m_inspector;
    delete m_board;
    delete m_validator;
    delete m_mqtt;
    if (!m_translator->isEmpty())
        QCoreApplication::removeTranslator(m_translator);
    delete m_translator;
}

namespace {

// The window's font, registered once per process before the window is built. From
// the resource data in place where it is stored uncompressed: no private copy (a
// font loader in the window would keep a second one for the whole run).
void registerFont()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QResource font(QStringLiteral(":/qml/fonts/DejaVuSans.ttf"));
    int id = -1;
    if (font.isValid() && font.compressionAlgorithm() == QResource::NoCompression)
        id = QFontDatabase::addApplicationFontFromData(
            QByteArray::fromRawData(reinterpret_cast<const char*>(font.data()), int(font.size())));
    else
        id = QFontDatabase::addApplicationFont(font.fileName());
    if (id < 0)
        qWarning().noquote() << "[GUIManager] WARN: Could not load the font " << font.fileName();
}

} // namespace

void GUIManager::load()
{
    registerFont();
    m_engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    setLanguage(m_config.get(key("gui/locale")).toString());
    pushEvent(QStringLiteral("General"), QStringLiteral("Application started"));
}

// ---------------------------------------------------------------- configuration-backed properties

bool GUIManager::showCursor() const { return m_config.get(key("gui/showCursor")).toBool(); }
bool GUIManager::showErrorDesc() const { return m_config.get(key("gui/showErrorDesc")).toBool(); }
int GUIManager::displayOffMin() const { return m_config.get(key("gui/displayOffMin")).toInt(); }
int GUIManager::shutdownDelaySec() const { return m_config.get(key("gui/shutdownDelaySec")).toInt(); }
QColor GUIManager::screenSaverBg() const { return QColor(m_config.get(key("gui/screenSaverBg")).toString()); }
QString GUIManager::screenSaverImg() const { return m_config.get(key("gui/screenSaverImg")).toString(); }
int GUIManager::animSwitchSec() const { return m_config.get(key("gui/animSwitchSec")).toInt(); }

void GUIManager::setShowCursor(bool value)
{
    if (value != showCursor())
        m_config.set(key("gui/showCursor"), value);
}

void GUIManager::setShowErrorDesc(bool value)
{
    if (value != showErrorDesc())
        m_config.set(key("gui/showErrorDesc"), value);
}

void GUIManager::setDisplayOffMin(int value)
{
    if (value != displayOffMin())
        m_config.set(key("gui/displayOffMin"), value);
}

void GUIManager::setShutdownDelaySec(int value)
{
    if (value != shutdownDelaySec())
        m_config.set(key("gui/shutdownDelaySec"), value);
}

void GUIManager::setAnimSwitchSec(int value)
{
    if (value != animSwitchSec())
        m_config.set(key("gui/animSwitchSec"), value);
}

void GUIManager::setMessage(const QString& text)
{
    if (text == m_message)
        return;
    m_message = text;
    emit messageChanged();
}

// ---------------------------------------------------------------- set-up

void GUIManager::initLog()
{
    manager::Logger* logger = manager::Logger::instance();
    logger->setLevel(m_config.get(key("log/level")).toInt());
    logger->setStderr(m_config.get(key("log/stderr")).toBool());
    logger->setSyslog(m_config.get(key("log/syslog")).toBool());
    logger->setColor(m_config.get(key("log/color")).toBool());
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

    connect(m_screenTimer, &QTimer::timeout, this, &GUIManager::onScreenTimeout);
    setScreen(QStringLiteral("Busy"), 10000);
    setMessage(tr("Initializing"));
    setShowCursor(showCursor());
}

void GUIManager::initManagers()
{
    connect(m_validator, &manager::Validator::statusChanged, this, &GUIManager::onValidatorStatusChanged);
    connect(m_validator, &manager::Validator::cardDetected, this, [](const QString& uid, const QString& type) {
        GUI_LOG(qWarning) << QStringLiteral("Validator card detected : uid=%1, type=%2").arg(uid, type);
    });
    connect(m_validator, &manager::Validator::cardRemoved, this,
            [] { GUI_LOG(qWarning) << "Validator card removed"; });
    connect(m_validator, &manager::Validator::cardRetry, this, &GUIManager::onCardRetry);
    connect(m_validator, &manager::Validator::reasonChanged, this, &GUIManager::onValidatorReasonChanged);
    connect(m_validator, &manager::Validator::ticketValidated, this, &GUIManager::onTicketValidated);
    connect(m_validator, &manager::Validator::maintenanceBarcodeScanned, this,
            &GUIManager::onMaintenanceBarcodeScanned);
    connect(m_board, &manager::Board::ignitionChanged, this, &GUIManager::onIgnitionChanged);
    connect(m_board, &manager::Board::delayShutdownForChanged, this, &GUIManager::updateBoardShutdownDelay);
    connect(m_session, &SessionManager::accessGranted, this, &GUIManager::settingsAccessGranted);
    connect(m_session, &SessionManager::accessDenied, this, &GUIManager::settingsAccessDenied);
    connect(m_session, &SessionManager::expired, this, &GUIManager::setIdleScreen);
    connect(m_session, &SessionManager::sessionActiveChanged, this, &GUIManager::onSessionActiveChanged);
    connect(m_displayOffTimer, &QTimer::timeout, this, &GUIManager::onDisplayOffTimeout);
    connect(this, &GUIManager::screenChanged, this, &GUIManager::onScreenChanged);
    connect(m_inspector, &manager::Inspector::systemRebootStarted, this, [this] {
        setScreen(QStringLiteral("Busy"), 30000);
        setMessage(tr("Rebooting"));
    });
    connect(m_inspector, &manager::Inspector::systemShutdownStarted, this, [this] {
        setScreen(QStringLiteral("Busy"), 30000);
        setMessage(tr("Shutting down"));
    });
}

// ---------------------------------------------------------------- screens

void GUIManager::setScreen(const QString& value)
{
    if (value == m_screen)
        return;
    GUI_LOG(qInfo) << "Setting screen : " << value;
    m_screen = value;
    m_screenTimer->stop();
    emit screenChanged();
}

void GUIManager::setScreen(const QString& value, int timeout)
{
    GUI_LOG(qInfo) << "Setting screen : " << value << " (timeout=" << timeout << " msec)";
    m_screenTimer->setSingleShot(true);
    m_screenTimer->start(timeout);
    m_screen = value;
    emit screenChanged();
}

void GUIManager::onScreenTimeout()
{
    GUI_LOG(qInfo) << "Screen timeout : " << m_screen;
    setIdleScreen();
}

bool GUIManager::sessionActive() const { return m_session->sessionActive(); }

void GUIManager::setIdleScreen()
{
    m_screenTimer->stop();
    if (m_deviceId.isEmpty()) {
        setScreen(QStringLiteral("InitPage"));
        return;
    }
    if (sessionActive())
        return;
    const QString status = m_validator->status();
    if (status == QLatin1String("init")) {
        setScreen(QStringLiteral("Busy"));
        setMessage(tr("Please Wait"));
    } else if (status == QLatin1String("out-of-service")) {
        setScreen(QStringLiteral("OutOfService"));
        m_validator->disableRfid();
        m_validator->disableBarcode();
    } else if (status == QLatin1String("online") || status == QLatin1String("degraded")) {
        m_validator->enableRfid();
        m_validator->enableBarcode();
        setScreen(QStringLiteral("ScanScreens"));
    } else {
        setOutOfOrderScreen(validatorReason());
        m_validator->disableRfid();
        m_validator->disableBarcode();
    }
}

void GUIManager::setOutOfOrderScreen(const QString& message)
{
    if (m_screen == QLatin1String("Login") || !m_board->ignition() || sessionActive())
        return;
    setScreen(QStringLiteral("OutOfOrder"));
    setMessage(message);
}

QString GUIManager::validatorReason() const
{
    QString text = m_validator->reasonCode();
    if (showErrorDesc())
        text += QLatin1Char('\n') + m_validator->reason();
    return text;
}

void GUIManager::onValidatorStatusChanged()
{
    GUI_LOG(qInfo) << "Validator status changed : " << m_validator->status();
    setIdleScreen();
}

void GUIManager::onValidatorReasonChanged()
{
    GUI_LOG(qWarning) << "Validator reason changed : " << m_validator->reasonCode() << " " << m_validator->reason();
    if (m_validator->status() != QLatin1String("init"))
        setMessage(validatorReason());
}

void GUIManager::playSound(const QString& path) { m_inspector->audioPlay(path); }

void GUIManager::onCardRetry()
{
    GUI_LOG(qWarning) << "Validator card retry";
    if (sessionActive())
        return;
    playSound(kInvalidSound);
    setScreen(QStringLiteral("Retry"), 3000);
}

void GUIManager::onTicketValidated(const Transaction& transaction)
{
    // The sound goes out first: handing the transaction to the screens re-evaluates
    // their bindings, and the passenger should not wait for that to hear the answer.
    const bool session = sessionActive();
    if (!session)
        playSound(transaction.valid() ? kValidSound : kInvalidSound);
    const QVariantMap map = transaction.toMap();
    GUI_LOG(qWarning) << "Validator ticket validated : " << int(transaction.type());
    GUI_LOG(qWarning) << "Valid : " << (transaction.valid() ? "true" : "false");
    GUI_LOG(qWarning) << "Contents : "
                      << QString::fromUtf8(QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact));
    m_transaction = map;
    m_qmlContext->setContextProperty(QStringLiteral("transaction"), map);
    if (session)
        return;
    if (transaction.valid())
        setScreen(QStringLiteral("Valid"), 3000);
    else if (transaction.denyReasonId() == 103 || transaction.denyReasonId() == 207)
        setScreen(QStringLiteral("AlreadyValid"), 3000);
    else
        setScreen(QStringLiteral("Invalid"), 3000);
}

void GUIManager::pushEvent(const QString& category, const QString& name, const QString& description)
{
    m_eventLog->push(new Event(category, name, description, QDateTime::currentDateTime()));
}

void GUIManager::onSessionActiveChanged()
{
    const QString now = QDateTime::currentDateTime().toString();
    if (sessionActive()) {
        const User user = m_session->user().value_or(User());
        const QString description = QStringLiteral("User ID : %1\nFirst name : %2\nLast name : %3\nDate : %4")
                                        .arg(user.id)
                                        .arg(user.name, user.surname, now);
        m_eventLog->push(new EventLogin(QStringLiteral("General"), QStringLiteral("Maintenance login"), description,
                                        QDateTime::currentDateTime()));
    } else {
        setIdleScreen();
        m_eventLog->push(new EventLogout(QStringLiteral("General"), QStringLiteral("Maintenance logout"),
                                         QStringLiteral("Date : %4").arg(now), QDateTime::currentDateTime()));
    }
    publishStatus();
}

void GUIManager::onScreenChanged()
{
    const int minutes = displayOffMin();
    if (minutes <= 0)
        return;
    if (m_screen == QLatin1String("OutOfOrder") || m_screen == QLatin1String("OutOfService")) {
        GUI_LOG(qInfo) << "Staring Display OFF timer : " << minutes << " min(s)";
        m_displayOffTimer->setSingleShot(true);
        // In 64 bits: a large setting would wrap to a negative interval and the
        // display would never go off. The timer holds at most INT_MAX ms (~24 days).
        m_displayOffTimer->start(int(qMin<qint64>(qint64(minutes) * 60000, INT_MAX)));
        return;
    }
    if (m_displayOffTimer->isActive()) {
        GUI_LOG(qInfo) << "Stopping Display OFF timer.";
        m_displayOffTimer->stop();
    }
    if (!m_board->peripheralPower(QStringLiteral("display"))) {
        GUI_LOG(qInfo) << "Turning on Display.";
        m_board->setPeripheralPower(QStringLiteral("display"), true);
    }
}

void GUIManager::onDisplayOffTimeout()
{
    GUI_LOG(qWarning) << "WARN: Turning off Display due to inactivity.";
    m_board->setPeripheralPower(QStringLiteral("display"), false);
}

void GUIManager::updateBoardShutdownDelay()
{
    // The board keeps a whole number of seconds: add in 64 bits and clamp.
    const int target = int(qBound<qint64>(0, qint64(shutdownDelaySec()) + 60, INT_MAX));
    const int current = m_board->delayShutdownFor();
    if (current == target)
        return;
    GUI_LOG(qWarning) << "WARN: Updating board shutdown delay to : " << target << " sec(s) (prev=" << current << ")";
    m_board->setDelayShutdownFor(target);
}

void GUIManager::onIgnitionChanged()
{
    if (m_board->ignition()) {
        pushEvent(QStringLiteral("Board"), QStringLiteral("Ignition on"));
        m_inspector->abortShutdown();
        setIdleScreen();
    } else {
        pushEvent(QStringLiteral("Board"), QStringLiteral("Ignition off"));
        m_session->logoutRequest();
        m_inspector->scheduleShutdown(shutdownDelaySec());
        setScreen(QStringLiteral("ScreenSaver"));
    }
}

void GUIManager::rebootRequest()
{
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Rebooting"));
    m_inspector->systemReboot();
}

void GUIManager::shutdownRequest()
{
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Shutting down"));
    m_inspector->systemShutdown();
}

void GUIManager::exitRequest()
{
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Exiting"));
    QTimer::singleShot(2000, Qt::PreciseTimer, qApp, [] { QCoreApplication::exit(0); });
}

void GUIManager::setMaintenanceScreen()
{
    if (sessionActive())
        setScreen(QStringLiteral("Settings"));
    else if (m_screen == QLatin1String("Login"))
        setIdleScreen();
    else
        setScreen(QStringLiteral("Login"), 15000);
}

void GUIManager::settingsLoginRequest(const QString& pin) { m_session->loginRequest(pin); }

void GUIManager::settingsLogoutRequest() { m_session->logoutRequest(); }

// ---------------------------------------------------------------- broker and own service

QString GUIManager::baseTopic() const { return m_config.get(key("mqtt/base")).toString(); }

void GUIManager::initMqtt()
{
    // Re-run on every broker setting change: the old reactions go, so none is doubled.
    for (const auto& c : qAsConst(m_mqttConnections))
        disconnect(c);
    m_mqttConnections = {
        connect(m_mqtt, &manager::MqttClient::connected, this, &GUIManager::onMqttConnected),
        connect(m_mqtt, &manager::MqttClient::disconnected, this, &GUIManager::onMqttDisconnected),
        connect(m_mqtt, &manager::MqttClient::error, this, &GUIManager::onMqttError),
        connect(m_mqtt, &manager::MqttClient::received, this, &GUIManager::processMqttMessage),
    };
    m_mqtt->setClientId(QStringLiteral("%1_%2").arg(QCoreApplication::applicationName()).arg(QCoreApplication::applicationPid()));
    m_mqtt->setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    m_mqtt->setWillTopic(baseTopic() + QStringLiteral("/status"));
    m_mqtt->setHostname(m_config.get(key("mqtt/host")).toString());
    m_mqtt->setPort(unsigned(m_config.get(key("mqtt/port")).toInt()));
    m_mqtt->setUsername(m_config.get(key("mqtt/username")).toString());
    m_mqtt->setPassword(m_config.get(key("mqtt/password")).toString());
    // The message goes first: a connection that completes at once must not be
    // reported as still connecting.
    setMessage(QStringLiteral("Connecting"));
    // Remembered by the client and renewed on every connection before anyone is told.
    subscribeToTopics();
    m_mqtt->connect();
}

void GUIManager::onMqttConnected()
{
    GUI_LOG(qInfo) << "Connected to MQTT broker";
    setMessage(QStringLiteral("Connected"));
    publishInfo();
    publishStatus();
    publishConfig();
}

void GUIManager::onMqttDisconnected()
{
    GUI_LOG(qWarning) << "WARN: Disconnected from MQTT broker";
    setOutOfOrderScreen(QStringLiteral("Disconnected"));
}

void GUIManager::onMqttError(const QString& text) { GUI_LOG(qCritical) << "ERROR: " << text; }

void GUIManager::subscribeToTopics()
{
    const QString b = baseTopic();
    for (const char* suffix : {"/info/get", "/status/get", "/config/get", "/config/set"})
        m_mqtt->subscribe(b + QLatin1String(suffix), 0);
}

void GUIManager::publishInfo()
{
    const QJsonObject info{{QStringLiteral("version"), QCoreApplication::applicationVersion()}};
    m_mqtt->publish(manager::ServiceClient::toIndentedJson(info), baseTopic() + QStringLiteral("/info"));
}

void GUIManager::publishStatus()
{
    const QJsonObject status{{QStringLiteral("technician"), sessionActive()}, {QStringLiteral("service"), true}};
    // Retained like the will, so a subscriber that comes later reads what is true now.
    m_mqtt->publish(manager::ServiceClient::toIndentedJson(status), baseTopic() + QStringLiteral("/status"), 0, true);
}

void GUIManager::publishConfig()
{
    // Every client of the broker reads this: secrets go out masked, and the mask
    // coming back through config/set changes nothing.
    m_mqtt->publish(manager::ServiceClient::toIndentedJson(manager::maskSecrets(m_config.toJson()).toObject()),
        baseTopic() + QStringLiteral("/config"));
}

void GUIManager::processMqttMessage(const QByteArray& data, const QByteArray& topicBytes)
{
    const QString topic = QString::fromUtf8(topicBytes);
    if (!topic.contains(baseTopic()))
        return;
    GUI_LOG(qInfo) << "Message received : " << topic;
    GUI_LOG(qDebug) << "Data : " << manager::maskSecrets(QString::fromUtf8(data));
    QJsonObject request;
    QString parseError;
    if (!manager::ServiceClient::parseObject(data, request, &parseError))
        GUI_LOG(qCritical) << "Failed to parse JSON message: " << parseError;
    if (topic.contains(QLatin1String("/info/get")))
        publishInfo();
    else if (topic.contains(QLatin1String("/status/get")))
        publishStatus();
    else if (topic.contains(QLatin1String("/config/get")))
        publishConfig();
    else if (topic.contains(QLatin1String("/config/set")))
        m_config.fromJson(request);
}

void GUIManager::onConfigChanged(const QVariantMap& changes)
{
    GUI_LOG(qDebug) << "Config changed : "
                    << manager::maskSecrets(
                           QString::fromUtf8(QJsonDocument::fromVariant(changes).toJson(QJsonDocument::Compact)));
    static const QRegularExpression logKey(QStringLiteral("log\\/.+"));
    static const QRegularExpression mqttKey(QStringLiteral("mqtt\\/.+"));
    auto has = [&changes](const char* k) { return changes.contains(QString::fromLatin1(k)); };
    auto matches = [&changes](const QRegularExpression& re) {
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            if (re.match(it.key()).hasMatch())
                return true;
        return false;
    };

    if (has("gui/deviceId")) {
        GUI_LOG(qInfo) << "Device id changed. Re-loading";
        loadDeviceId();
    } else if (has("gui/showCursor")) {
        GUI_LOG(qInfo) << "Cursor changed : " << (showCursor() ? "visible" : "hidden");
        emit showCursorChanged();
    } else if (has("gui/displayOffMin")) {
        GUI_LOG(qInfo) << "Display OFF interval changed : " << displayOffMin() << " min(s)";
        emit displayOffMinChanged();
    } else if (has("gui/shutdownDelaySec")) {
        GUI_LOG(qInfo) << "Shutdown delay changed : " << shutdownDelaySec() << " sec(s)";
        updateBoardShutdownDelay();
        emit shutdownDelaySecChanged();
    } else if (has("gui/locale")) {
        setLanguage(changes.value(key("gui/locale")).toString());
    } else if (has("gui/showErrorDesc")) {
        GUI_LOG(qInfo) << "Show Error description changed : " << (showErrorDesc() ? "YES" : "NO");
        setMessage(validatorReason());
        emit showErrorDescChanged();
    } else if (has("gui/screenSaverBg")) {
        GUI_LOG(qInfo) << "Screen-saver background changed : " << m_config.get(key("gui/screenSaverBg")).toString();
        emit screenSaverBgChanged();
    } else if (has("gui/screenSaverImg")) {
        GUI_LOG(qInfo) << "Screen-saver image changed : " << screenSaverImg();
        emit screenSaverImgChanged();
    } else if (has("gui/animSwitchSec")) {
        GUI_LOG(qInfo) << "GIFs animation changed : " << animSwitchSec() << " msec(s)";
        emit animSwitchSecChanged();
    } else if (matches(logKey)) {
        GUI_LOG(qInfo) << "Log configuration changed. Applying.";
        initLog();
    } else if (matches(mqttKey)) {
        GUI_LOG(qInfo) << "MQTT configuration changed. Applying.";
        initMqtt();
    }
    publishConfig();
}

// ---------------------------------------------------------------- device id

void GUIManager::loadDeviceId()
{
    const QString path = m_config.get(key("gui/deviceId")).toString();
    QFile file(path);
    GUI_LOG(qInfo) << "Loading device id from : " << path;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        GUI_LOG(qCritical) << "ERROR: Could not load device S/N from file : " << path << " (" << file.errorString()
                           << ")";
        return;
    }
    QTextStream in(&file);
    QString line;
    // Only the first non-empty line counts; a huge file is read no further than that.
    while (!in.atEnd()) {
        line = in.readLine(4096).trimmed();
        if (!line.isEmpty())
            break;
    }
    if (line.isEmpty())
        GUI_LOG(qWarning) << "WARN: Device id file is empty : " << path;
    else if (!isValidDeviceId(line))
        GUI_LOG(qWarning) << "WARN: Device id file holds no valid device id : " << path;
    m_deviceId = line;
    emit deviceIdChanged();
}

void GUIManager::setDeviceId(const QString& value)
{
    if (value == m_deviceId)
        return;
    GUI_LOG(qWarning) << "Device ID changed : " << value;
    m_deviceId = value;
    saveDeviceId();
    emit deviceIdChanged();
}

void GUIManager::saveDeviceId()
{
    const QString path = m_config.get(key("gui/deviceId")).toString();
    GUI_LOG(qInfo) << "Saving device id to : " << path;
    const QByteArray bytes = m_deviceId.toUtf8();
    // Written beside the old file and renamed over it: a full or failing card leaves the
    // old id whole. Only where no file can be made beside it is it written in place.
    QSaveFile file(path);
    bool saved = file.open(QIODevice::WriteOnly);
    QString error = file.errorString();
    if (saved) {
        // Flushed before commit(): in Qt 5 a write that fails only when flushed (a full
        // card) still commits, and renames an empty file over the old id.
        saved = file.write(bytes) == bytes.size() && file.flush() && file.commit();
        if (!saved)
            file.cancelWriting();
        error = file.errorString();
    } else {
        QFile direct(path);
        saved = direct.open(QIODevice::ReadWrite) && direct.write(bytes) == bytes.size() && direct.resize(bytes.size())
            && direct.flush();
        error = direct.errorString();
    }
    if (!saved) {
        GUI_LOG(qCritical) << "ERROR: Could not save device S/N to file : " << path << " (" << error
                           << "); the file keeps the previous id";
        emit errorOccured(error);
    }
}

bool GUIManager::isValidDeviceId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[CK][0-9]{8}$"));
    return pattern.match(id).hasMatch();
}

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

void GUIManager::setLanguage(const QString& value)
{
    if (value == m_language)
        return;
    GUI_LOG(qInfo) << "Language changed : " << value;
    if (m_translator->isEmpty()) {
        GUI_LOG(qInfo) << "Loading translation file : " << kCatalogue;
        if (!m_translator->load(kCatalogue)) {
            GUI_LOG(qCritical) << "ERROR: Failed to load translation file";
            return;
        }
    }
    const QLocale locale(value);
    if (locale.language() == QLocale::English) {
        QCoreApplication::removeTranslator(m_translator);
    } else if (!QCoreApplication::installTranslator(m_translator)) {
        GUI_LOG(qCritical) << "ERROR: Failed to install translator";
        return;
    }
    QLocale::setDefault(locale);
    m_language = value;
    m_config.set(key("gui/locale"), value);
    m_engine->retranslate();
    emit languageChanged();
}

// ---------------------------------------------------------------- maintenance barcode

void GUIManager::onMaintenanceBarcodeScanned(const QJsonObject& object)
{
    GUI_LOG(qInfo) << "Maintenance Barcode scanned";
    if (!sessionActive()) {
        GUI_LOG(qWarning) << "WARN: Maintenance session is not active. Ignoring.";
        return;
    }
    QStringList applied;
    if (object.contains(QLatin1String("validator"))) {
        const QJsonObject validator = object.value(QLatin1String("validator")).toObject();
        const QString obc = validator.value(QLatin1String("obc")).toString();
        const QUrl url(obc, QUrl::TolerantMode);
        if (url.isValid() && !obc.isEmpty()) {
            GUI_LOG(qInfo) << "Applying Validator configuration";
            applied << QStringLiteral("OBC : %1").arg(url.toString(QUrl::RemovePassword));
            m_validator->config()->setObuUrl(url);
            m_validator->saveConfig();
        } else {
            GUI_LOG(qWarning) << "WARN: OBC URL is not valid : " << obc;
        }
    }
    const QJsonObject network = object.value(QLatin1String("network")).toObject();
    if (network.contains(QLatin1String("eth0"))) {
        const QJsonValue eth0Value = network.value(QLatin1String("eth0"));
        const QJsonObject eth0 = eth0Value.toObject();
        // A member that is not text is read as empty, and said so.
        auto text = [&eth0](const char* k) {
            const QJsonValue v = eth0.value(QLatin1String(k));
            if (!v.isUndefined() && !v.isString())
                GUI_LOG(qWarning) << "WARN: Ignoring invalid value of '" << k << "' in the Ethernet configuration";
            return v.toString();
        };
        manager::Ethernet* ethernet = m_network->ethernet();
        if (!eth0Value.isObject()) {
            // Junk here must not switch the device to automatic addressing.
            GUI_LOG(qWarning) << "WARN: Ethernet configuration is not valid. Ignoring.";
        } else if (ethernet->interface() != QLatin1String("eth0")) {
            GUI_LOG(qWarning) << "WARN: Active ethernet interface is not 'eth0' : " << ethernet->interface();
        } else if (const QString problem = ethernet->checkConfig(
                       text("method"), text("address"), text("netmask"), text("gateway"), text("dns0"), text("dns1"));
                   !problem.isEmpty()) {
            // One bad code must not cut the unit off the network.
            GUI_LOG(qWarning) << "WARN: Ethernet configuration is not valid : " << problem;
            emit errorOccured(problem);
        } else {
            const QString method = text("method");
            applied << QStringLiteral("Method : %1").arg(method) << QStringLiteral("Address : %1").arg(text("address"))
                    << QStringLiteral("Netmask : %1").arg(text("netmask"))
                    << QStringLiteral("Gateway : %1").arg(text("gateway"))
                    << QStringLiteral("DNS #0 : %1").arg(text("dns0")) << QStringLiteral("DNS #1 : %1").arg(text("dns1"));
            const bool manual = method == QLatin1String("manual");
            ethernet->setMethod(manual ? QStringLiteral("manual") : QStringLiteral("auto"));
            IPv4* config = ethernet->config();
            config->setAddress(manual ? text("address") : QString());
            config->setMask(manual ? text("netmask") : QString());
            config->setGateway(manual ? text("gateway") : QString());
            config->setDns0(manual ? text("dns0") : QString());
            config->setDns1(manual ? text("dns1") : QString());
            GUI_LOG(qInfo) << "Applying Ethernet configuration to eth0";
            ethernet->save();
        }
    }
    if (!applied.isEmpty()) {
        playSound(kValidSound);
        m_board->setLedValid();
        emit barcodeConfigurationApplied(applied);
    }
}
