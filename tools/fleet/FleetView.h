#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>

#include <array>

namespace manager {
class MqttClient;
}

// What the depot broker knows of every unit bridged to it. Each unit's bridge puts the
// panel's own topics under <prefix>/<serial>/ (info, status, config, health and the
// answers to screenshot and event-log requests) and keeps a retained link state on
// <prefix>/<serial>/bridge.
class FleetView : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxEvents = 200;
    // The outcomes a unit counts, as named in its health.
    static const QStringList& results();

    struct Unit
    {
        QString status = QStringLiteral("unknown");
        QString version;
        QDateTime lastSeen; // invalid until the unit itself has spoken since we started
        bool answered = false;
        QJsonObject config;
        QJsonObject health;
        // Validations per hour of `day`, counted from the rise of the health counts
        // while we watch.
        QDate day;
        std::array<int, 24> hourly {};
        qint64 countedTotal = -1; // the health's sum of counts last seen; -1 before the first
    };

    FleetView(manager::MqttClient& mqtt, const QString& prefix, QObject* parent = nullptr);

    // Subscribes, then sends a probe to ourselves: when it comes back, every retained
    // message of the subscriptions has arrived and `ready` is emitted.
    void start();
    bool isReady() const { return m_ready; }
    const QMap<QString, Unit>& units() const { return m_units; }
    // One line per unit, in serial-number order.
    QStringList lines() const;
    static QString header();
    // Asks every known unit (or one) for its info, status and health.
    void askAll();
    void ask(const QString& serial);
    bool allAnswered() const;
    // KEY is group/name; VALUE true/false and integers travel typed, "quoted" text as text.
    static bool buildConfigChange(const QString& key, const QString& value, QJsonObject* change);
    bool sendConfigChange(const QString& serial, const QJsonObject& change);
    // The unit answers with screenshotReceived or screenshotRefused.
    bool requestScreenshot(const QString& serial);
    // SINCE (ISO 8601) may be empty; MAX is clamped to 1..200. The unit answers with eventsReceived.
    bool requestEvents(const QString& serial, const QString& since, int max = kMaxEvents);
    // A serial number that is one plain topic level.
    static bool isValidSerial(const QString& serial);
    // Validations of today (local time), all outcomes.
    static int validationsToday(const Unit& unit, const QDate& today);

signals:
    void ready();
    void changed();
    void unitChanged(const QString& serial);
    void configReceived(const QString& serial, const QJsonObject& config);
    void screenshotReceived(const QString& serial, const QByteArray& png);
    void screenshotRefused(const QString& serial, const QString& reason);
    void eventsReceived(const QString& serial, const QJsonArray& events);

private slots:
    void onReceived(const QByteArray& data, const QByteArray& from);

private:
    QString topic(const QString& serial, const char* suffix) const;
    Unit& unit(const QString& serial);
    void takeHealth(Unit& u, const QJsonObject& health);

    manager::MqttClient& m_mqtt;
    QString m_prefix;
    QString m_probeTopic;
    bool m_ready = false;
    QMap<QString, Unit> m_units;
};
