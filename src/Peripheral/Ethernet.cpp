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
    qInfo().noquote().nospace() << tag() << "Subscribing to topics";
    subscribe(topic("/state"));
    subscribe(topic("/config"));
}

void Ethernet::setMethod(const QString& value)
{
    if (value == m_method)
        return;
    qInfo().noquote().nospace() << tag() << "Method changed : " << value;
    m_method = value;
    emit methodChanged();
}

void Ethernet::reset()
{
    qInfo().noquote().nospace() << tag() << "Refreshing data";
    publish(topic("/state/get"), QByteArrayLiteral("{}"));
    publish(topic("/config/get"), QByteArrayLiteral("{}"));
}

void Ethernet::save()
{
    const QString rule(25, QLatin1Char('-'));
    qInfo().noquote().nospace() << tag() << "Saving configuration";
    qInfo().noquote().nospace() << tag() << rule;
    qInfo().noquote().nospace() << tag() << "Method  : " << m_method;
    qInfo().noquote().nospace() << tag() << "Address : " << m_config->address();
    qInfo().noquote().nospace() << tag() << "Netmask : " << m_config->mask();
    qInfo().noquote().nospace() << tag() << "Gateway : " << m_config->gateway();
    qInfo().noquote().nospace() << tag() << "DNS     : " << m_config->dns0() << ", " << m_config->dns1();
    qInfo().noquote().nospace() << tag() << rule;

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
    qInfo().noquote().nospace() << tag() << "Processing state topic " << topicName;
    const QString interface = object.value(QStringLiteral("interface")).toString();
    if (interface == UsbGadget)
        return;
    update(m_interface, interface, "Interface changed : ", &Ethernet::interfaceChanged);
    update(m_type, object.value(QStringLiteral("typeStr")).toString(), "Type changed : ", &Ethernet::typeChanged);
    update(m_state, object.value(QStringLiteral("stateStr")).toString(), nullptr, &Ethernet::stateChanged);
    update(
        m_reason, object.value(QStringLiteral("reasonStr")).toString(), "Reason changed : ", &Ethernet::reasonChanged);
    update(m_mac, object.value(QStringLiteral("mac")).toString(), "MAC changed : ", &Ethernet::macChanged);

    const QVariantMap ipv4 = object.value(QStringLiteral("ipv4")).toObject().toVariantMap();
    if (ipv4 != m_ipv4->toMap()) {
        qInfo().noquote().nospace() << tag() << "IPv4 changed : " << ipv4;
        m_ipv4->fromMap(ipv4);
        emit ipv4Changed();
    }
}

void Ethernet::onConfigReceived(const QString& topicName, const QJsonObject& object)
{
    qInfo().noquote().nospace() << tag() << "Processing config topic " << topicName;
    if (object.value(QStringLiteral("interface")).toString() == UsbGadget)
        return;
    update(m_method, object.value(QStringLiteral("method")).toString(), "Method changed : ", &Ethernet::methodChanged);

    // The message also carries "interface" and "method", which the record never
    // holds, so this runs for every accepted message; the record's own signals
    // still fire only on real changes.
    const QVariantMap config = object.toVariantMap();
    if (config != m_config->toMap()) {
        qInfo().noquote().nospace() << tag() << "IPv4 changed : " << config;
        m_config->fromMap(config);
        emit configChanged();
    }
}

void Ethernet::update(QString& stored, const QString& value, const char* label, void (Ethernet::*changed)())
{
    if (stored == value)
        return;
    if (label)
        qInfo().noquote().nospace() << tag() << label << value;
    stored = value;
    emit(this->*changed)();
}

} // namespace manager
