#pragma once

#include "IPv4.h"
#include "ServiceClient.h"

namespace manager {

// The wired Ethernet interface as the network service reports it: the live state
// with the settings in force, and the stored configuration that the technician
// edits locally and sends back with save().
class Ethernet : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(QString interface READ interface NOTIFY interfaceChanged)
    Q_PROPERTY(QString type READ type NOTIFY typeChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString reason READ reason NOTIFY reasonChanged)
    Q_PROPERTY(QString mac READ mac NOTIFY macChanged)
    Q_PROPERTY(QString method READ method WRITE setMethod NOTIFY methodChanged)
    Q_PROPERTY(IPv4* ipv4 READ ipv4 NOTIFY ipv4Changed)
    Q_PROPERTY(IPv4* config READ config NOTIFY configChanged)
public:
    // networkBase is the network service's base topic; the Ethernet topics live
    // under networkBase + "/ethernet".
    Ethernet(MqttClient& mqtt, const QString& networkBase, QObject* parent = nullptr);

    QString interface() const { return m_interface; }
    QString type() const { return m_type; }
    QString state() const { return m_state; }
    QString reason() const { return m_reason; }
    QString mac() const { return m_mac; }
    QString method() const { return m_method; }
    IPv4* ipv4() const { return m_ipv4; }
    IPv4* config() const { return m_config; }

    void setMethod(const QString& value);

    // True for an empty text or four dotted decimal numbers 0 to 255 without
    // leading zeros; the configuration page marks other texts red.
    Q_INVOKABLE static bool isValidAddress(const QString& text);
    // The check the configuration page runs on Save: an empty string when the
    // texts may be saved, else the (translated) message of the first failure.
    // Only the "manual" method is checked.
    Q_INVOKABLE QString checkConfig(const QString& method, const QString& address, const QString& netmask,
        const QString& gateway, const QString& dns0, const QString& dns1) const;

signals:
    void interfaceChanged();
    void typeChanged();
    void stateChanged();
    void reasonChanged();
    void macChanged();
    void methodChanged();
    void ipv4Changed();
    void configChanged();

public slots:
    void save();
    void reset();

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private:
    void onStateReceived(const QString& topic, const QJsonObject& object);
    void onConfigReceived(const QString& topic, const QJsonObject& object);

    QString m_interface;
    QString m_type;
    QString m_state;
    QString m_reason;
    QString m_mac;
    QString m_method;
    IPv4* m_ipv4;
    IPv4* m_config;
};

} // namespace manager
