#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace manager {
class MqttClient;
}
class SimService;
class SimValidator;
class SimBoard;
class SimInspector;
class SimNetwork;
class SimDevice;

// Base topics of the simulated services, by default the panel's own defaults; the card
// and barcode reader topics are fixed (Topics.h).
struct SimTopics
{
    SimTopics();
    QString blm;
    QString board;
    QString inspector;
    QString network;
    QString device;
    // The user interface announces itself here; every announcement makes the services
    // publish their state again, as the validator and network clients never ask for it.
    QString ui;
};

// Plays every sibling service of the front panel at once over one MQTT connection,
// one SimService per service (validator with its readers, board, inspector, network
// with Ethernet, device with software update and NTP), and is the command shell that
// turns text commands into the events a passenger or the vehicle would cause.
// Everything it has to say goes out through output(), one line at a time; every
// request also as a "REQ <topic> <payload>" line.
class DeviceSimulator : public QObject
{
    Q_OBJECT
public:
    explicit DeviceSimulator(
        manager::MqttClient& mqtt, const SimTopics& topics = SimTopics(), QObject* parent = nullptr);
    ~DeviceSimulator() override;

    // Runs one command line ("tap valid epurse", "status no-route"...). Blank lines
    // and "#" comments are accepted and do nothing. False, with an explanation on
    // output(), for an unknown command or bad arguments. "wait" and "quit" are the
    // business of whoever feeds the commands (see CommandQueue); here "quit" only
    // emits quitRequested().
    bool execute(const QString& line);
    static QStringList helpText();

    // Publishes the info, status and configuration of every service.
    void publishAll();
    // Interval of the simulated download and install steps and of the NTP and
    // Ethernet settling delays; shortened by tests.
    void setStepMillis(int millis);
    // Also report every publication as a "PUB <topic> <payload>" line.
    void setEchoPublished(bool echo);

    const SimTopics& topics() const { return m_topics; }
    SimValidator* validator() const { return m_validator; }

signals:
    void output(const QString& line);
    void quitRequested();

private slots:
    void onConnected();
    void onReceived(const QByteArray& payload, const QByteArray& topic);

private:
    void say(const QString& line) { emit output(line); }
    bool cmdService(const QStringList& args);

    manager::MqttClient& m_mqtt;
    const SimTopics m_topics;
    SimValidator* m_validator;
    SimBoard* m_board;
    SimInspector* m_inspector;
    SimNetwork* m_network;
    SimDevice* m_device;
    std::vector<SimService*> m_services;
};
