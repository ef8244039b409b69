#pragma once

#include "MqttClient.h"
#include "MqttTransport.h"

#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

class Config;
class DeviceSimulator;
class GUIManager;
class QQuickItem;
class QQuickWindow;

// Stands in for the broker beneath the GUI manager's MQTT client: connects at
// once, accepts every subscription and publication, and delivers the messages
// the script injects as if the sibling services had sent them.
// Two of them can be wired to each other, so that what one side publishes reaches
// the other side's subscriptions (the panel and the simulated services in one process).
class ScriptedTransport : public manager::MqttTransport
{
    Q_OBJECT
public:
    using MqttTransport::MqttTransport;

    void connectToHost() override { setStateAndError(Connected); }
    void disconnectFromHost() override { setStateAndError(Disconnected); }
    bool subscribe(const QString& filter, quint8) override;
    int publish(const QString& topic, const QByteArray& payload, quint8, bool) override;
    void closeTransport() override { setStateAndError(Disconnected, TransportInvalid); }

    void inject(const QString& topic, const QByteArray& payload) { emit messageReceived(payload, topic); }
    static void wire(ScriptedTransport* a, ScriptedTransport* b);
    // Topics published through this side, oldest first.
    const QStringList& publishedTopics() const { return m_published; }
    void clearPublished() { m_published.clear(); }
    // MQTT filter match with the "+" and "#" wildcards.
    static bool matches(const QString& filter, const QString& topic);

private:
    QPointer<ScriptedTransport> m_peer;
    QStringList m_filters;
    QStringList m_published;
};

// One validation result as the validator service publishes it.
struct SampleTicket
{
    QString name; // file-name part, e.g. "valid-2-epurse"
    QString screen; // the outcome screen the GUI manager must choose
    bool barcode; // published on the barcode topic rather than the card topic
    QJsonObject transaction;
};

// A real GUIManager on temporary settings, device id and event log files, driven
// only through the messages its services would send: validator states, scanned
// tickets, card retries and the ignition.
class ScriptedDevice
{
public:
    // An empty deviceId leaves the device id file missing, as on a new unit.
    explicit ScriptedDevice(
        const QString& locale, const QString& deviceId = QString(), const QVariantMap& settings = QVariantMap());
    ~ScriptedDevice();

    GUIManager& gui() { return *m_gui; }
    Config& config() { return *m_config; }

    // Loads main.qml; false when no window came up.
    bool load();
    QQuickWindow* window() const { return m_window; }
    // The first item of that object name in the window's item tree.
    QQuickItem* findItem(const QString& objectName) const;
    // The item a screen's loader holds ("ScanScreens", "Valid"...).
    QQuickItem* screenItem(const QString& name) const;
    // The name of the screen the window shows now.
    QString shownScreen() const;

    void inject(const QString& topic, const QJsonObject& object);
    // "online", "degraded", "init", "out-of-service", "offline" (service down) or
    // "no-rfid" (card reader not operational).
    void setValidator(const QString& state);
    void setIgnition(bool on);
    void scan(const SampleTicket& ticket);
    void cardRetry();

    // From now on the simulated services answer the panel's requests in this
    // process, starting with every service publishing its state.
    DeviceSimulator& attachSimulator();
    ScriptedTransport* transport() const { return m_transport; }

    // Runs the event loop until the window shows the screen (true) or the time runs out.
    bool waitForScreen(const QString& name, int timeoutMsec = 10000);
    // Runs the event loop for a while, so animations and timers run.
    static void settle(int msec);

    // Tickets of every type, accepted; a Greek locale gives Greek product names.
    static QList<SampleTicket> validTickets(const QString& locale);
    // The same tickets refused as already validated (ids 103 and 207).
    static QList<SampleTicket> alreadyValidTickets(const QString& locale);
    // Refusals for a few reasons.
    static QList<SampleTicket> invalidTickets(const QString& locale);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<GUIManager> m_gui;
    QPointer<ScriptedTransport> m_transport;
    std::unique_ptr<manager::MqttClient> m_simMqtt;
    std::unique_ptr<DeviceSimulator> m_sim;
    QQuickWindow* m_window = nullptr;
};
