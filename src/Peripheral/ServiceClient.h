#pragma once

#include <QDebug>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <type_traits>

class QTimer;

namespace manager {

class MqttClient;

// The shape every sibling-service client shares: built on the shared MQTT client
// and a base topic; one dispatch path (filter by base topic, parse with an empty
// payload read as "{ }", one critical line on bad JSON, hand the object to the
// handler of the exact topic); requests serialised as indented JSON, QoS 0, not
// retained; a mirrored value changes only through update(). Subclasses override
// the hooks where their service differs.
class ServiceClient : public QObject
{
    Q_OBJECT
public:
    ServiceClient(MqttClient& mqtt, const QString& base, const QString& tag, QObject* parent = nullptr);

    QString base() const { return m_base; }

    // Parsing costs memory by the array or object far more than by the byte: a message of
    // small nested arrays takes a hundred times its size. No service message comes near.
    static constexpr int MaxJsonContainers = 4096;

    // Parses a payload as a JSON object: an empty payload is "{ }", a document that
    // is not an object gives an empty object. False (with the parser's text) when
    // the payload does not parse or holds more than MaxJsonContainers arrays and
    // objects, which is refused before parsing.
    static bool parseObject(const QByteArray& payload, QJsonObject& object, QString* errorText = nullptr);
    // The indented JSON text form of an object.
    static QByteArray toIndentedJson(const QJsonObject& object);

protected slots:
    // Connected to MqttClient::received.
    virtual void onMqttReceived(const QByteArray& payload, const QByteArray& topic);

protected:
    // Whether a message belongs to this service at all; by default the topic must
    // contain the base topic somewhere.
    virtual bool acceptsTopic(const QString& topic) const;
    // Called with the parsed object for a topic that passed acceptsTopic().
    virtual void dispatch(const QString& topic, const QJsonObject& object) = 0;
    // The critical line for a payload that does not parse; the default is the tag,
    // "Failed to parse JSON message: " and the parser's error text.
    virtual void reportParseError(const QByteArray& payload, const QString& errorText);

    void subscribe(const QString& topic);
    // Publishes to a full topic; QoS 0, not retained.
    bool publish(const QString& topic, const QByteArray& payload);
    bool publishJson(const QString& topic, const QJsonObject& object);
    QString topic(const char* suffix) const { return m_base + QLatin1String(suffix); }
    // Tag of this client's log lines, "[Board] " for instance.
    QString tag() const { return m_tag; }

    // Stores a value the service reported: when it differs from the stored one,
    // stores it and emits the change signal. True when it changed.
    template <typename T, typename Client>
    bool update(T& stored, const std::decay_t<T>& value, void (Client::*changed)())
    {
        if (stored == value)
            return false;
        stored = value;
        emit(static_cast<Client*>(this)->*changed)();
        return true;
    }
    // The same, with a line logged before storing: the tag, then the pieces.
    template <typename T, typename Client, typename... Pieces>
    bool update(
        T& stored, const std::decay_t<T>& value, void (Client::*changed)(), QtMsgType level, const Pieces&... line)
    {
        if (stored == value)
            return false;
        (log(level) << ... << line);
        stored = value;
        emit(static_cast<Client*>(this)->*changed)();
        return true;
    }
    // A log line at that level, begun with the tag, without quoting or spacing.
    QDebug log(QtMsgType level) const;

    // Asks the service for its current state; the monitor calls it. Clients whose
    // service publishes only on its own schedule may leave it empty.
    virtual void refresh() { }
    // The monitor that settings pages run while they show live values: a positive
    // interval refreshes at once and then repeats, restarting a running monitor; 0
    // stops it; a negative interval is refused with a warning.
    void runMonitor(int msec);

    MqttClient& m_mqtt;
    const QString m_base;

private:
    const QString m_tag;
    // Made on first use: most clients are never monitored.
    QTimer* m_monitor = nullptr;
};

} // namespace manager
