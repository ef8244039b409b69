#include "Ethernet.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonObject>
#include <QRegularExpression>

namespace manager {

namespace {

const QString Manual = QStringLiteral("manual");
// The service reports the USB gadget link on the same topics; it is not the
// Ethernet port the technician configures.
const QString UsbGadget = QStringLiteral("usb0");

} // namespace

Ethernet::Ethernet(MqttClient& mqtt, const QString& networkBase, QObject* parent)
    : ServiceClient(mqtt, networkBase + QStringLiteral("/ethernet"), QStringLiteral("[Network][Ethernet] "), parent)
    , m_ipv4(new IPv4(this))
    , m_config(new IPv4(this))
{
    connect(&m_mqtt, &MqttClient::connected, this, &Ethernet::reset);
    log(QtInfoMsg) << "Subscribing to topics";
    subscribe(topic("/state"));
    subscribe(topic("/config"));
}

void Ethernet::setMethod(const QString& value)
{
    update(m_method, value, &Ethernet::methodChanged, QtInfoMsg, "Method changed : ", value);
}

void Ethernet::reset()
{
    log(QtInfoMsg) << "Refreshing data";
    publish(topic("/state/get"), QByteArrayLiteral("{}"));
    publish(topic("/config/get"), QByteArrayLiteral("{}"));
}

void Ethernet::save()
{
    const QString rule(25, QLatin1Char('-'));
    log(QtInfoMsg) << "Saving configuration";
    log(QtInfoMsg) << rule;
    log(QtInfoMsg) << "Method  : " << m_method;
    log(QtInfoMsg) << "Address : " << m_config->address();
    log(QtInfoMsg) << "Netmask : " << m_config->mask();
    log(QtInfoMsg) << "Gateway : " << m_config->gateway();
    log(QtInfoMsg) << "DNS     : " << m_config->dns0() << ", " << m_config->dns1();
    log(QtInfoMsg) << rule;

    // Any method but "manual" lets the service pick the addresses, so stale manual
    // values in the record must not travel with it.
    const bool manual = m_method == Manual;
    QJsonObject request;
    request.insert(QStringLiteral("interface"), m_interface);
    request.insert(QStringLiteral("method"), m_method);
    request.insert(IPv4::AddressKey, manual ? m_config->address() : QString());
    request.insert(IPv4::NetmaskKey, manual ? m_config->mask() : QString());
    request.insert(IPv4::GatewayKey, manual ? m_config->gateway() : QString());
    request.insert(IPv4::Dns0Key, manual ? m_config->dns0() : QString());
    request.insert(IPv4::Dns1Key, manual ? m_config->dns1() : QString());
    publishJson(topic("/config/set"), request);
}

bool Ethernet::isValidAddress(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^((25[0-5]|(2[0-4]|1\\d|[1-9]|)\\d)\\.?\\b){4}$"));
    return text.isEmpty() || pattern.match(text).hasMatch();
}

QString Ethernet::checkConfig(const QString& method, const QString& address, const QString& netmask,
    const QString& gateway, const QString& dns0, const QString& dns1) const
{
    if (method != Manual)
        return QString();
    if (address.isEmpty())
        return tr("IPv4 address cannot be empty in 'manual' mode");
    if (netmask.isEmpty())
        return tr("IPv4 netmask cannot be empty in 'manual' mode");
    if (!isValidAddress(address))
        return tr("IPv4 address is not a valid IP address");
    if (!isValidAddress(netmask))
        return tr("IPv4 netmask is not a valid IP address");
    if (!isValidAddress(gateway))
        return tr("IPv4 gateway is not a valid IP address");
    if (!isValidAddress(dns0))
        return tr("IPv4 DNS #0 is not a valid IP address");
    if (!isValidAddress(dns1))
        return tr("IPv4 DNS #1 is not a valid IP address");
    return QString();
}

void Ethernet::dispatch(const QString& topicName, const QJsonObject& object)
{
    if (topicName == topic("/state"))
        onStateReceived(topicName, object);
    else if (topicName == topic("/config"))
        onConfigReceived(topicName, object);
}

void Ethernet::onStateReceived(const QString& topicName, const QJsonObject& object)
{
    log(QtInfoMsg) << "Processing state topic " << topicName;
    const QString interface = object.value(QStringLiteral("interface")).toString();
    if (interface == UsbGadget)
        return;
    update(m_interface, interface, &Ethernet::interfaceChanged, QtInfoMsg, "Interface changed : ", interface);
    const QString type = object.value(QStringLiteral("typeStr")).toString();
    update(m_type, type, &Ethernet::typeChanged, QtInfoMsg, "Type changed : ", type);
    update(m_state, object.value(QStringLiteral("stateStr")).toString(), &Ethernet::stateChanged);
    const QString reason = object.value(QStringLiteral("reasonStr")).toString();
    update(m_reason, reason, &Ethernet::reasonChanged, QtInfoMsg, "Reason changed : ", reason);
    const QString mac = object.value(QStringLiteral("mac")).toString();
    update(m_mac, mac, &Ethernet::macChanged, QtInfoMsg, "MAC changed : ", mac);

    const QVariantMap ipv4 = object.value(QStringLiteral("ipv4")).toObject().toVariantMap();
    if (ipv4 != m_ipv4->toMap()) {
        log(QtInfoMsg) << "IPv4 changed : " << ipv4;
        m_ipv4->fromMap(ipv4);
        emit ipv4Changed();
    }
}

void Ethernet::onConfigReceived(const QString& topicName, const QJsonObject& object)
{
    log(QtInfoMsg) << "Processing config topic " << topicName;
    if (object.value(QStringLiteral("interface")).toString() == UsbGadget)
        return;
    setMethod(object.value(QStringLiteral("method")).toString());

    // The message also carries "interface" and "method", which the record never
    // holds, so this runs for every accepted message; the record's own signals
    // still fire only on real changes.
    const QVariantMap config = object.toVariantMap();
    if (config != m_config->toMap()) {
        log(QtInfoMsg) << "IPv4 changed : " << config;
        m_config->fromMap(config);
        emit configChanged();
    }
}

} // namespace manager
