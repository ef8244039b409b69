#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

class QDateTime;
class QJsonValue;

namespace manager {
class MqttClient;
}

// Small helpers every simulated service uses.
namespace sim {
QByteArray compact(const QJsonObject& object);
QString onOff(bool b);
QString trueFalse(bool b);
QString utcStamp(const QDateTime& t);
// Reads an integer that a peer may send as a number or as text; false when it is neither.
bool readInt(const QJsonValue& value, int& out);
} // namespace sim

// One simulated sibling service on the shared connection: the request topics it
// listens to, what it does with a request, the state it publishes, and a readable
// summary of that state. Everything it has to say goes out through output().
class SimService : public QObject
{
    Q_OBJECT
public:
    SimService(manager::MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QString base() const { return m_base; }
    virtual QStringList requestTopics() const = 0;
    // Acts on one request; false when the topic is not this service's.
    virtual bool handleRequest(const QString& topic, const QJsonObject& request, bool empty) = 0;
    virtual void publishAll() = 0;
    virtual QStringList stateLines() const = 0;

    // Interval of simulated slow steps (downloads, settling); shortened by tests.
    void setStepMillis(int millis) { m_stepMillis = qMax(1, millis); }
    void setEchoPublished(bool echo) { m_echoPublished = echo; }

signals:
    void output(const QString& line);

protected:
    void say(const QString& line) { emit output(line); }
    bool publishJson(const QString& topic, const QJsonObject& object);
    bool publishRaw(const QString& topic, const QByteArray& payload);

    manager::MqttClient& m_mqtt;
    const QString m_base;
    int m_stepMillis = 500;

private:
    bool m_echoPublished = false;
};
