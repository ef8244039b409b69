#include "IPv4.h"

const QString IPv4::AddressKey = QStringLiteral("address");
const QString IPv4::NetmaskKey = QStringLiteral("netmask");
const QString IPv4::GatewayKey = QStringLiteral("gateway");
const QString IPv4::Dns0Key = QStringLiteral("dns0");
const QString IPv4::Dns1Key = QStringLiteral("dns1");

IPv4::IPv4(QObject* parent)
    : QObject(parent)
{
}

void IPv4::setAddress(const QString& value) { setField(AddressKey, value, &IPv4::addressChanged); }

void IPv4::setGateway(const QString& value) { setField(GatewayKey, value, &IPv4::gatewayChanged); }

void IPv4::setMask(const QString& value) { setField(NetmaskKey, value, &IPv4::maskChanged); }

void IPv4::setDns0(const QString& value) { setField(Dns0Key, value, &IPv4::dns0Changed); }

void IPv4::setDns1(const QString& value) { setField(Dns1Key, value, &IPv4::dns1Changed); }

void IPv4::fromMap(const QVariantMap& map)
{
    setAddress(textOf(map.value(AddressKey)));
    setMask(textOf(map.value(NetmaskKey)));
    setGateway(textOf(map.value(GatewayKey)));
    setDns0(textOf(map.value(Dns0Key)));
    setDns1(textOf(map.value(Dns1Key)));
}

QString IPv4::textOf(const QVariant& value)
{
    return value.userType() == QMetaType::QString ? value.toString() : QString();
}

void IPv4::setField(const QString& key, const QString& value, void (IPv4::*changed)())
{
    if (field(key) == value)
        return;
    m_map.insert(key, value);
    emit(this->*changed)();
}
