#include "Connection.h"

namespace manager {

Connection::Connection(QObject* parent)
    : QObject(parent)
    , m_ipv4(new IPv4(this))
{
}

Connection::Connection(const QVariantMap& map, QObject* parent)
    : Connection(parent)
{
    fromMap(map);
}

Connection& Connection::fromMap(const QVariantMap& map)
{
    const QString interface = IPv4::textOf(map.value(QStringLiteral("interface")));
    if (interface != m_interface) {
        m_interface = interface;
        emit interfaceChanged();
    }
    const QString state = IPv4::textOf(map.value(QStringLiteral("stateStr")));
    if (state != m_state) {
        m_state = state;
        emit stateChanged();
    }
    const QString type = IPv4::textOf(map.value(QStringLiteral("typeStr")));
    if (type != m_type) {
        m_type = type;
        emit typeChanged();
    }
    const QVariantMap ipv4 = map.value(QStringLiteral("ipv4")).toMap();
    if (ipv4 != m_ipv4->toMap()) {
        m_ipv4->fromMap(ipv4);
        emit ipv4Changed();
    }
    return *this;
}

} // namespace manager
