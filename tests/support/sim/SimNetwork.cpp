#include "SimNetwork.h"

#include "Ethernet.h"
#include "MqttClient.h"

#include <QTimer>

using namespace sim;

namespace {
// The panel's own address check; the service also refuses an empty address.
bool isIPv4(const QString& text) { return !text.isEmpty() && manager::Ethernet::isValidAddress(text); }

// The interface's state words, as the panel colours them and the self-test reads them.
const QString Connected = QStringLiteral("Connected");
const QString Connecting = QStringLiteral("Connecting");
const QString Disconnected = QStringLiteral("Disconnected");
} // namespace

SimNetwork::SimNetwork(manager::MqttClient& mqtt, const QString& base, QObject* parent)
    : SimService(mqtt, base, parent)
{
    m_state.lease = QJsonObject { { "address", "192.168.1.57" }, { "netmask", "255.255.255.0" },
        { "gateway", "192.168.1.1" }, { "dns0", "192.168.1.1" }, { "dns1", "192.168.1.2" } };
    m_state.manual
        = QJsonObject { { "address", "" }, { "netmask", "" }, { "gateway", "" }, { "dns0", "" }, { "dns1", "" } };
    m_state.inForce = m_state.lease;
}

QStringList SimNetwork::requestTopics() const
{
    const QString& n = m_base;
    return { n + "/info/get", n + "/status/get", n + "/ethernet/state/get", n + "/ethernet/config/get",
        n + "/ethernet/config/set" };
}

QStringList SimNetwork::stateLines() const
{
    return { QStringLiteral("[Sim] Network: %1 (%2), eth0 %3 %4")
                 .arg(m_state.connection, m_state.connectivity, m_state.method,
                     m_state.inForce.value("address").toString()) };
}

QJsonObject SimNetwork::status() const
{
    const bool up = m_state.state == Connected;
    return QJsonObject { { "stateStr", m_state.connection }, { "connectivityStr", m_state.connectivity },
        { "hostname", m_state.hostname },
        { "primaryConnection",
            QJsonObject { { "interface", m_state.interface }, { "stateStr", m_state.state }, { "typeStr", "ethernet" },
                { "ipv4", up ? m_state.inForce : QJsonObject() } } } };
}

QJsonObject SimNetwork::ethernetState() const
{
    const bool up = m_state.state == Connected;
    return QJsonObject { { "interface", m_state.interface }, { "typeStr", "ethernet" }, { "stateStr", m_state.state },
        { "reasonStr", m_state.reason }, { "mac", m_state.mac }, { "ipv4", up ? m_state.inForce : QJsonObject() } };
}

QJsonObject SimNetwork::ethernetConfig() const
{
    QJsonObject c = m_state.method == QLatin1String("manual")
        ? m_state.manual
        : QJsonObject { { "address", "" }, { "netmask", "" }, { "gateway", "" }, { "dns0", "" }, { "dns1", "" } };
    c.insert("interface", m_state.interface);
    c.insert("method", m_state.method);
    return c;
}

void SimNetwork::publishEthernet()
{
    const QString E = m_base + "/ethernet";
    publishJson(E + "/state", ethernetState());
    publishJson(m_base + "/status", status());
}

void SimNetwork::publishAll()
{
    const QString N = m_base;
    publishJson(N + "/info", QJsonObject { { "service", QJsonObject { { "version", "1.2.5" } } } });
    publishJson(N + "/ethernet/config", ethernetConfig());
    publishEthernet();
}

void SimNetwork::reconfigureEthernet()
{
    // The interface goes down while it takes the new settings, as it would on the device.
    m_state.state = Connecting;
    m_state.reason = QStringLiteral("New configuration");
    m_state.connection = Connecting;
    publishEthernet();
    QTimer::singleShot(2 * m_stepMillis, this, [this] {
        if (m_state.state != Connecting)
            return;
        m_state.inForce = m_state.method == QLatin1String("manual") ? m_state.manual : m_state.lease;
        m_state.state = Connected;
        m_state.reason = QStringLiteral("None");
        m_state.connection = Connected;
        say(QStringLiteral("[Network] eth0 up with ") + m_state.inForce.value("address").toString()
            + QStringLiteral("/") + m_state.inForce.value("netmask").toString() + QStringLiteral(" (") + m_state.method
            + QStringLiteral(")"));
        publishEthernet();
    });
}

bool SimNetwork::handleRequest(const QString& topic, const QJsonObject& o, bool)
{
    const QString N = m_base;
    const QString E = N + "/ethernet";
    if (topic == N + "/info/get") {
        say(QStringLiteral("[Network] Info requested"));
        publishJson(N + "/info", QJsonObject { { "service", QJsonObject { { "version", "1.2.5" } } } });
    } else if (topic == N + "/status/get") {
        say(QStringLiteral("[Network] Status requested"));
        publishJson(N + "/status", status());
    } else if (topic == E + "/state/get") {
        say(QStringLiteral("[Network] Ethernet state requested"));
        publishJson(E + "/state", ethernetState());
    } else if (topic == E + "/config/get") {
        say(QStringLiteral("[Network] Ethernet configuration requested"));
        publishJson(E + "/config", ethernetConfig());
    } else if (topic == E + "/config/set") {
        const QString iface = o.value("interface").toString();
        const QString method = o.value("method").toString();
        static const char* const keys[] = { "address", "netmask", "gateway", "dns0", "dns1" };
        QString refusal;
        if (!iface.isEmpty() && iface != m_state.interface)
            refusal = QStringLiteral("unknown interface '") + iface + QStringLiteral("'");
        else if (method == QLatin1String("manual")) {
            for (const char* k : keys) {
                const QString value = o.value(QLatin1String(k)).toString();
                const bool required = qstrcmp(k, "address") == 0 || qstrcmp(k, "netmask") == 0;
                if ((required && value.isEmpty()) || (!value.isEmpty() && !isIPv4(value))) {
                    refusal = QStringLiteral("bad ") + QLatin1String(k) + QStringLiteral(" '") + value
                        + QStringLiteral("'");
                    break;
                }
            }
        }
        if (!refusal.isEmpty()) {
            // The service keeps what it had; the page learns it from the next configuration.
            say(QStringLiteral("[Network] WARN: Ethernet configuration refused: ") + refusal);
            publishJson(E + "/config", ethernetConfig());
            return true;
        }
        if (method == QLatin1String("manual")) {
            m_state.method = method;
            for (const char* k : keys)
                m_state.manual.insert(QLatin1String(k), o.value(QLatin1String(k)).toString());
            auto shown = [this](const char* k) {
                const QString value = m_state.manual.value(QLatin1String(k)).toString();
                return value.isEmpty() ? QStringLiteral("-") : value;
            };
            say(QStringLiteral("[Network] Ethernet set to manual: %1/%2 gateway %3 dns %4 %5")
                    .arg(shown("address"), shown("netmask"), shown("gateway"), shown("dns0"), shown("dns1")));
        } else {
            m_state.method = QStringLiteral("auto");
            say(QStringLiteral("[Network] Ethernet set to automatic (DHCP)"));
        }
        publishJson(E + "/config", ethernetConfig());
        reconfigureEthernet();
    } else {
        return false;
    }
    return true;
}

bool SimNetwork::cmdNet(const QStringList& args)
{
    if (args.size() != 1)
        return false;
    const QString w = args.at(0).toLower();
    if (w == QLatin1String("connected") || w == QLatin1String("limited") || w == QLatin1String("portal")) {
        m_state.state = Connected;
        m_state.reason = QStringLiteral("None");
        m_state.connection = Connected;
        m_state.connectivity = w == QLatin1String("connected") ? QStringLiteral("Full")
            : w == QLatin1String("limited")                    ? QStringLiteral("Limited")
                                                               : QStringLiteral("Portal");
        m_state.inForce = m_state.method == QLatin1String("manual") ? m_state.manual : m_state.lease;
    } else if (w == QLatin1String("disconnected")) {
        m_state.state = Disconnected;
        m_state.reason = QStringLiteral("Carrier lost");
        m_state.connection = Disconnected;
        m_state.connectivity = QStringLiteral("None");
    } else {
        return false;
    }
    say(QStringLiteral("[Network] Now ") + m_state.connection + QStringLiteral(", connectivity ")
        + m_state.connectivity);
    publishEthernet();
    return true;
}
