#pragma once

#include "Config.h"
#include "FakeTransport.h"
#include "GUIManager.h"
#include "SampleValidations.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <functional>
#include <memory>

class QQuickItem;
class QQuickWindow;

// A real GUIManager on temporary settings, device id and event log files, talking to
// a fake broker connection, driven only through the messages its services would send:
// validator states, scanned tickets, card retries and the ignition. The QML is loaded
// only when asked (load()).
class GuiRig
{
public:
    struct Setup
    {
        // Written to the device id file; a null string leaves the file missing, as on a new unit.
        QString deviceId = QStringLiteral("K12345678");
        // Put in place of the defaults (the settings file starts empty).
        QVariantMap settings;
        // Win over whatever the settings file says.
        QVariantMap overrides;
        // Where the files go; empty: a temporary folder of the rig's own.
        QString folder;
        // The clock client's timedatectl is the simulator's script, its zone kept beside
        // the other files, so the clock page has zones to show.
        bool simulatedClock = false;
    };
    // A unit as the page walks and the screenshots want it: the locale's language, the
    // simulated clock, and a device id file only when an id is given.
    static Setup unit(const QString& locale, const QString& deviceId = QString());

    explicit GuiRig(const Setup& setup);
    explicit GuiRig(const QString& deviceId = QStringLiteral("K12345678"), const QVariantMap& settings = {});
    ~GuiRig();
    GuiRig(const GuiRig&) = delete;
    GuiRig& operator=(const GuiRig&) = delete;

    QTemporaryDir dir;
    std::unique_ptr<Config> config;
    std::unique_ptr<GUIManager> gui;
    QPointer<FakeTransport> transport;

    QString path(const QString& name) const;

    // A transport for another client in this process (the simulated services, the
    // depot): what either side publishes reaches the other side's subscriptions.
    std::function<manager::MqttTransport*()> peerTransport();

    // Loads main.qml; false when no window came up.
    bool load();
    QQuickWindow* window() const { return m_window; }
    // The first item of that object name in the window's item tree.
    QQuickItem* findItem(const QString& objectName) const;
    // The same below any item. Repeater delegates hang in the item tree, not always
    // in the object tree.
    static QQuickItem* findIn(QQuickItem* root, const QString& objectName);
    // The item a screen's loader holds ("ScanScreens", "Valid"...).
    QQuickItem* screenItem(const QString& name) const;
    // The name of the screen the window shows now.
    QString shownScreen() const;
    // Runs the event loop until the window shows the screen (true) or the time runs out.
    bool waitForScreen(const QString& name, int timeoutMsec = 10000);
    // Runs the event loop for a while, so animations and timers run.
    static void settle(int msec);

    void inject(const QString& topic, const QJsonObject& object);
    // "online", "degraded", "init", "out-of-service", "offline" (service down) or
    // "no-rfid" (card reader not operational).
    void setValidator(const QString& state);
    static QJsonObject validatorStatus(bool init, bool rfid, bool route, bool qr, bool obu);
    void setIgnition(bool on);
    // A card transaction on the card topic.
    void scan(const QJsonObject& transaction);
    void scan(const SampleValidation& validation);
    void cardRetry();

    // The sound files the panel asked the inspector to play, oldest first.
    QStringList soundsPlayed() const;
    int countOn(const QString& topic) const;

private:
    QString m_folder;
    QQuickWindow* m_window = nullptr;
};
