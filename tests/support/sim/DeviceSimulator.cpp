#include "DeviceSimulator.h"

#include "MqttClient.h"
#include "SettingsKeys.h"
#include "SimBoard.h"
#include "SimDevice.h"
#include "SimInspector.h"
#include "SimNetwork.h"
#include "SimValidator.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace {
QString defaultTopic(const char* key) { return manager::keys::defaults().value(QLatin1String(key)).toString(); }
} // namespace

SimTopics::SimTopics()
    : blm(defaultTopic("topics/blm"))
    , board(defaultTopic("topics/board"))
    , inspector(defaultTopic("topics/inspector"))
    , network(defaultTopic("topics/network"))
    , device(defaultTopic("topics/device"))
    , ui(defaultTopic("mqtt/base"))
{
}

DeviceSimulator::DeviceSimulator(manager::MqttClient& mqtt, const SimTopics& topics, QObject* parent)
    : QObject(parent)
    , m_mqtt(mqtt)
    , m_topics(topics)
    , m_validator(new SimValidator(mqtt, topics.blm, this))
    , m_board(new SimBoard(mqtt, topics.board, this))
    , m_inspector(new SimInspector(mqtt, topics.inspector, this))
    , m_network(new SimNetwork(mqtt, topics.network, this))
    , m_device(new SimDevice(mqtt, topics.device, this))
    , m_services { m_validator, m_board, m_inspector, m_network, m_device }
{
    for (SimService* service : m_services) {
        connect(service, &SimService::output, this, &DeviceSimulator::output);
        for (const QString& filter : service->requestTopics())
            m_mqtt.subscribe(filter);
    }
    m_mqtt.subscribe(m_topics.ui + "/info");

    connect(&m_mqtt, &manager::MqttClient::connected, this, &DeviceSimulator::onConnected);
    connect(&m_mqtt, &manager::MqttClient::disconnected, this,
        [this] { say(QStringLiteral("[Sim] WARN: Disconnected from broker; retrying")); });
    connect(&m_mqtt, &manager::MqttClient::received, this, &DeviceSimulator::onReceived);
}

DeviceSimulator::~DeviceSimulator() = default;

void DeviceSimulator::setStepMillis(int millis)
{
    for (SimService* service : m_services)
        service->setStepMillis(millis);
}

void DeviceSimulator::setEchoPublished(bool echo)
{
    for (SimService* service : m_services)
        service->setEchoPublished(echo);
}

void DeviceSimulator::onConnected()
{
    say(QStringLiteral("[Sim] Connected to broker; every service publishes its state"));
    publishAll();
}

void DeviceSimulator::publishAll()
{
    for (SimService* service : m_services)
        service->publishAll();
}

void DeviceSimulator::onReceived(const QByteArray& payload, const QByteArray& rawTopic)
{
    const QString topic = QString::fromUtf8(rawTopic);
    if (topic == m_topics.ui + "/info") {
        say(QStringLiteral("[Sim] User interface connected (") + QString::fromUtf8(payload).simplified()
            + QStringLiteral("); services publish their state again"));
        publishAll();
        return;
    }

    QJsonObject object;
    const bool empty = payload.trimmed().isEmpty();
    QString shown;
    if (!empty) {
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(payload, &err);
        if (err.error != QJsonParseError::NoError) {
            say(QStringLiteral("REQ ") + topic + " " + QString::fromUtf8(payload).simplified());
            say(QStringLiteral("[Sim] WARN: Request on ") + topic + QStringLiteral(" is not JSON (") + err.errorString()
                + QStringLiteral("); ignored"));
            return;
        }
        object = doc.object();
        shown = QString::fromUtf8(doc.isObject() ? sim::compact(object) : doc.toJson(QJsonDocument::Compact));
    }
    say(QStringLiteral("REQ ") + topic + (shown.isEmpty() ? QString() : QStringLiteral(" ") + shown));

    for (SimService* service : m_services)
        if (service->handleRequest(topic, object, empty))
            return;
    say(QStringLiteral("[Sim] WARN: No service answers ") + topic);
}

bool DeviceSimulator::cmdService(const QStringList& args)
{
    if (args.size() != 2 || (args.at(1) != QLatin1String("up") && args.at(1) != QLatin1String("down")))
        return false;
    const bool up = args.at(1) == QLatin1String("up");
    const QString which = args.at(0).toLower();
    if (which == QLatin1String("board"))
        m_board->setServiceUp(up);
    else if (which == QLatin1String("inspector"))
        m_inspector->setServiceUp(up);
    else if (which == QLatin1String("device"))
        m_device->setServiceUp(up);
    else
        return false;
    say(QStringLiteral("[Sim] Service ") + which + QStringLiteral(" ") + args.at(1));
    return true;
}

QStringList DeviceSimulator::helpText()
{
    return {
        QStringLiteral("Passengers:"),
        QStringLiteral(
            "  tap valid [kind]              valid card; kind: epurse (default), journeys, period, daypass,"),
        QStringLiteral("                                emv, transfer, profile, transfer-epurse, capping-epurse,"),
        QStringLiteral("                                capping-journeys, or a type number"),
        QStringLiteral("  tap refused <id> [kind]       refused card with deny reason id (200 when left out)"),
        QStringLiteral("  tap already [kind]            card already validated (deny reason 207)"),
        QStringLiteral("  scan valid                    valid barcode ticket"),
        QStringLiteral("  scan refused <id>             refused barcode ticket (100 when left out)"),
        QStringLiteral("  scan already                  barcode ticket already validated (deny reason 103)"),
        QStringLiteral("  card found [uid] [typecode]   card detected by the reader"),
        QStringLiteral("  card removed                  card taken away"),
        QStringLiteral("  card retry                    card read failed, present it again"),
        QStringLiteral("Validator:"),
        QStringLiteral("  status <word> [<word>...]     online, init, degraded, no-rfid, rfid-updating, no-ntp,"),
        QStringLiteral("                                no-route, service-down, no-obu, no-qr (faults combine)"),
        QStringLiteral("Vehicle and board:"),
        QStringLiteral("  ignition on|off               ignition input"),
        QStringLiteral("  event <name> [json]           board event, e.g. event IgnitionChanged 0"),
        QStringLiteral("  board temp <C>|voltage <V>|sensor <%>|rtc ok|fail"),
        QStringLiteral("  service board|inspector|device up|down"),
        QStringLiteral("Network and clock:"),
        QStringLiteral("  net connected|limited|portal|disconnected"),
        QStringLiteral("  ntp synced|unsynced"),
        QStringLiteral("Software update:"),
        QStringLiteral("  update available <version>    the server offers a version; it downloads at once"),
        QStringLiteral("  update install                install the pending version"),
        QStringLiteral("Maintenance barcode (needs a technician logged in on the panel):"),
        QStringLiteral("  maint validator <url>"),
        QStringLiteral("  maint eth0 manual <addr> <mask> <gw> <dns0> <dns1>"),
        QStringLiteral("  maint eth0 auto"),
        QStringLiteral("  maint json <object>           any maintenance barcode content"),
        QStringLiteral("Other:"),
        QStringLiteral("  state                         print the simulated state"),
        QStringLiteral("  publish                       every service publishes its state again"),
        QStringLiteral("  wait <ms>                     pause the command stream (scenarios)"),
        QStringLiteral("  help                          this list"),
        QStringLiteral("  quit                          stop the simulator"),
    };
}

bool DeviceSimulator::execute(const QString& rawLine)
{
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return true;
    QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const QString cmd = words.takeFirst().toLower();
    say(QStringLiteral("CMD ") + line);
    bool ok = false;
    if (cmd == QLatin1String("help")) {
        for (const QString& l : helpText())
            say(l);
        ok = true;
    } else if (cmd == QLatin1String("tap"))
        ok = m_validator->cmdTap(words);
    else if (cmd == QLatin1String("scan"))
        ok = m_validator->cmdScan(words);
    else if (cmd == QLatin1String("card"))
        ok = m_validator->cmdCard(words);
    else if (cmd == QLatin1String("status"))
        ok = m_validator->cmdStatus(words);
    else if (cmd == QLatin1String("ignition"))
        ok = m_board->cmdIgnition(words);
    else if (cmd == QLatin1String("event"))
        ok = m_board->cmdEvent(words);
    else if (cmd == QLatin1String("board"))
        ok = m_board->cmdBoard(words);
    else if (cmd == QLatin1String("service"))
        ok = cmdService(words);
    else if (cmd == QLatin1String("net"))
        ok = m_network->cmdNet(words);
    else if (cmd == QLatin1String("ntp"))
        ok = m_device->cmdNtp(words);
    else if (cmd == QLatin1String("update"))
        ok = m_device->cmdUpdate(words);
    else if (cmd == QLatin1String("maint"))
        ok = m_validator->cmdMaint(
            line.section(QRegularExpression(QStringLiteral("\\s+")), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    else if (cmd == QLatin1String("state")) {
        for (SimService* service : m_services)
            for (const QString& l : service->stateLines())
                say(l);
        ok = true;
    } else if (cmd == QLatin1String("publish")) {
        publishAll();
        ok = true;
    } else if (cmd == QLatin1String("quit") || cmd == QLatin1String("exit")) {
        emit quitRequested();
        ok = true;
    } else {
        say(QStringLiteral("[Sim] Unknown command '") + cmd + QStringLiteral("'; type help"));
        return false;
    }
    if (!ok)
        say(QStringLiteral("[Sim] Cannot do '") + line + QStringLiteral("'; type help"));
    return ok;
}
