#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>

namespace manager {
class MqttClient;
}

// What the depot broker knows of every unit bridged to it. Each unit's bridge puts the
// panel's own topics under <prefix>/<serial>/ (info, status, config and the requests)
// and keeps a retained link state on <prefix>/<serial>/bridge.
class FleetView : public QObject
{
    Q_OBJECT
public:
    struct Unit
    {
        QString status = QStringLiteral("unknown");
        QString version;
        QDateTime lastSeen; // invalid until the unit itself has spoken since we started
        bool answered = false;
        QJsonObject config;
    };

    FleetView(manager::MqttClient& mqtt, const QString& prefix, QObject* parent = nullptr);

    // Subscribes, then sends a probe to ourselves: when it comes back, every retained
    // message of the subscriptions has arrived and `ready` is emitted.
    void start();
    bool isReady() const { return m_ready; }
    const QMap<QString, Unit>& units() const { return m_units; }
    // One line per unit, in serial-number order.
    QStringList lines() const;
    // Asks every known unit (or one) for its info and status.
    void askAll();
    void ask(const QString& serial);
    bool allAnswered() const;
    // KEY is group/name; VALUE true/false and integers travel typed, "quoted" text as text.
    static bool buildConfigChange(const QString& key, const QString& value, QJsonObject* change);
    bool sendConfigChange(const QString& serial, const QJsonObject& change);

signals:
    void ready();
    void changed();
    void configReceived(const QString& serial, const QJsonObject& config);

private slots:
    void onReceived(const QByteArray& data, const QByteArray& from);

private:
    QString topic(const QString& serial, const char* suffix) const;
    Unit& unit(const QString& serial);

    manager::MqttClient& m_mqtt;
    QString m_prefix;
    QString m_probeTopic;
    bool m_ready = false;
    QMap<QString, Unit> m_units;
};
