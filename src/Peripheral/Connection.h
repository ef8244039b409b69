#pragma once

#include "IPv4.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

namespace manager {

// One network connection as the network service describes it.
class Connection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString interface READ interface NOTIFY interfaceChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString type READ type NOTIFY typeChanged)
    Q_PROPERTY(IPv4* ipv4 READ ipv4 NOTIFY ipv4Changed)
public:
    explicit Connection(QObject* parent = nullptr);
    Connection(const QVariantMap& map, QObject* parent = nullptr);

    QString interface() const { return m_interface; }
    QString state() const { return m_state; }
    QString type() const { return m_type; }
    IPv4* ipv4() const { return m_ipv4; }

    // Applies a connection object ("interface", "stateStr", "typeStr", "ipv4");
    // missing members clear their field.
    Connection& fromMap(const QVariantMap& map);

signals:
    void interfaceChanged();
    void stateChanged();
    void typeChanged();
    void ipv4Changed();

private:
    IPv4* m_ipv4;
    QString m_interface;
    QString m_state;
    QString m_type;
};

} // namespace manager
