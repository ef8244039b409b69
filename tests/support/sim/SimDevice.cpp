#include "SimDevice.h"

#include "MqttClient.h"

#include <QTimer>

using namespace sim;

namespace {
const int kDownloadChunks = 8;
const QStringList kInstallSteps = { QStringLiteral("Verifying package"), QStringLiteral("Installing files"),
    QStringLiteral("Updating boot partition"), QStringLiteral("Finalising installation") };
} // namespace

SimDevice::SimDevice(manager::MqttClient& mqtt, const QString& base, QObject* parent)
    : SimService(mqtt, base, parent)
{
    m_updateTimer = new QTimer(this);
    connect(m_updateTimer, &QTimer::timeout, this, &SimDevice::onUpdateStep);
}

QStringList SimDevice::requestTopics() const
{
    const QString& d = m_base;
    return { d + "/status/get", d + "/software/check", d + "/update/software/install",
        d + "/update/software/status/get", d + "/clock/ntp/status/get", d + "/clock/ntp/config/get",
        d + "/clock/ntp/config/set", d + "/clock/ntp/sync" };
}

QStringList SimDevice::stateLines() const
{
    const State& d = m_state;
    return { QStringLiteral("[Sim] Device: software %1, pending %2, offered %3; NTP %4 (%5), %6")
                 .arg(d.current, d.pending.isEmpty() ? QStringLiteral("-") : d.pending,
                     d.offered.isEmpty() ? QStringLiteral("-") : d.offered, onOff(d.ntpEnabled), d.ntpServer,
                     d.ntpSynced ? QStringLiteral("synced") : QStringLiteral("not synced")) };
}

void SimDevice::setServiceUp(bool up)
{
    m_state.service = up;
    publishStatus();
}

QJsonObject SimDevice::updateStatus() const
{
    return QJsonObject { { "current", m_state.current }, { "pending", m_state.pending } };
}

QJsonObject SimDevice::status() const
{
    return QJsonObject { { "service", m_state.service }, { "update", QJsonObject { { "software", updateStatus() } } } };
}

QJsonObject SimDevice::ntpStatus() const
{
    return QJsonObject { { "enabled", m_state.ntpEnabled }, { "synced", m_state.ntpSynced } };
}

QJsonObject SimDevice::ntpConfig() const
{
    return QJsonObject { { "enabled", m_state.ntpEnabled }, { "server", m_state.ntpServer } };
}

void SimDevice::publishStatus() { publishJson(m_base + "/status", status()); }

void SimDevice::publishNtpStatus() { publishJson(m_base + "/clock/ntp/status", ntpStatus()); }

void SimDevice::publishAll()
{
    publishStatus();
    publishJson(m_base + "/update/software/status", updateStatus());
    publishNtpStatus();
    publishJson(m_base + "/clock/ntp/config", ntpConfig());
}

void SimDevice::settleNtp()
{
    QTimer::singleShot(3 * m_stepMillis, this, [this] {
        const bool synced = m_state.ntpEnabled && !m_state.ntpServer.isEmpty();
        if (synced == m_state.ntpSynced)
            return;
        m_state.ntpSynced = synced;
        say(QStringLiteral("[Device] NTP ")
            + (synced ? "synchronised with " + m_state.ntpServer : QStringLiteral("not synchronised")));
        publishNtpStatus();
    });
}

void SimDevice::startDownload()
{
    m_state.job = State::Downloading;
    m_state.step = 0;
    say(QStringLiteral("[Device] Downloading update ") + m_state.offered);
    m_updateTimer->start(m_stepMillis);
}

void SimDevice::startInstall()
{
    m_state.job = State::Installing;
    m_state.step = 0;
    say(QStringLiteral("[Device] Installing update ") + m_state.pending);
    m_updateTimer->start(m_stepMillis);
}

void SimDevice::onUpdateStep()
{
    const QString P = m_base + "/update/software/progress";
    State& d = m_state;
    ++d.step;
    if (d.job == State::Downloading) {
        // A slash in the message is what marks it as a download step.
        publishJson(P,
            QJsonObject { { "message", QStringLiteral("Downloading %1/%2").arg(d.step).arg(kDownloadChunks) },
                { "progress", d.step * 100 / kDownloadChunks }, { "version", d.offered } });
        if (d.step < kDownloadChunks)
            return;
        m_updateTimer->stop();
        d.job = State::None;
        d.pending = d.offered;
        say(QStringLiteral("[Device] Update ") + d.pending + QStringLiteral(" downloaded, ready to install"));
        publishJson(m_base + "/update/software/status", updateStatus());
        publishStatus();
    } else if (d.job == State::Installing) {
        const int n = kInstallSteps.size();
        publishJson(P,
            QJsonObject { { "message", kInstallSteps.at(qMin(d.step, n) - 1) }, { "progress", d.step * 100 / n },
                { "version", d.pending } });
        if (d.step < n)
            return;
        m_updateTimer->stop();
        d.job = State::None;
        d.current = d.pending;
        d.pending.clear();
        say(QStringLiteral("[Device] Update ") + d.current
            + QStringLiteral(" installed (a real device would restart now)"));
        publishJson(m_base + "/update/software/status", updateStatus());
        publishStatus();
    } else {
        m_updateTimer->stop();
    }
}

bool SimDevice::handleRequest(const QString& topic, const QJsonObject& o, bool)
{
    const QString D = m_base;
    const QString T = D + "/clock/ntp";
    State& d = m_state;
    if (topic == D + "/status/get") {
        say(QStringLiteral("[Device] Status requested"));
        publishStatus();
    } else if (topic == D + "/update/software/status/get") {
        say(QStringLiteral("[Device] Software versions requested"));
        publishJson(D + "/update/software/status", updateStatus());
    } else if (topic == D + "/software/check") {
        if (d.job != State::None) {
            say(QStringLiteral("[Device] Update check while busy; progress follows"));
        } else if (!d.offered.isEmpty() && d.offered != d.current && d.offered != d.pending) {
            say(QStringLiteral("[Device] Update check: ") + d.offered + QStringLiteral(" found"));
            startDownload();
        } else {
            say(QStringLiteral("[Device] Update check: ")
                + (d.pending.isEmpty() ? QStringLiteral("nothing new") : d.pending + QStringLiteral(" pending")));
            QTimer::singleShot(2 * m_stepMillis, this, &SimDevice::publishStatus);
        }
    } else if (topic == D + "/update/software/install") {
        if (d.job != State::None)
            say(QStringLiteral("[Device] WARN: Install requested while busy; ignored"));
        else if (d.pending.isEmpty()) {
            say(QStringLiteral("[Device] WARN: Install requested with nothing pending"));
            publishStatus();
        } else
            startInstall();
    } else if (topic == T + "/status/get") {
        say(QStringLiteral("[Device] NTP status requested"));
        publishNtpStatus();
    } else if (topic == T + "/config/get") {
        say(QStringLiteral("[Device] NTP configuration requested"));
        publishJson(T + "/config", ntpConfig());
    } else if (topic == T + "/config/set") {
        const bool enabled = o.value("enabled").isBool() ? o.value("enabled").toBool() : d.ntpEnabled;
        const QString server = o.contains("server") ? o.value("server").toString().trimmed() : d.ntpServer;
        const bool changed = enabled != d.ntpEnabled || server != d.ntpServer;
        d.ntpEnabled = enabled;
        d.ntpServer = server;
        say(QStringLiteral("[Device] NTP ") + (enabled ? "enabled" : "disabled") + QStringLiteral(", server ")
            + (server.isEmpty() ? QStringLiteral("(none)") : server));
        publishJson(T + "/config", ntpConfig());
        if (changed) {
            d.ntpSynced = false;
            publishNtpStatus();
            settleNtp();
        }
    } else if (topic == T + "/sync") {
        say(QStringLiteral("[Device] NTP synchronisation requested"));
        d.ntpSynced = false;
        publishNtpStatus();
        settleNtp();
    } else {
        return false;
    }
    return true;
}

bool SimDevice::cmdNtp(const QStringList& args)
{
    if (args.size() != 1 || (args.at(0) != QLatin1String("synced") && args.at(0) != QLatin1String("unsynced")))
        return false;
    m_state.ntpSynced = args.at(0) == QLatin1String("synced");
    say(QStringLiteral("[Device] NTP ") + args.at(0));
    publishNtpStatus();
    return true;
}

bool SimDevice::cmdUpdate(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString what = args.at(0).toLower();
    if (what == QLatin1String("available") && args.size() == 2) {
        if (m_state.job != State::None) {
            say(QStringLiteral("[Device] Busy with an update; try later"));
            return true;
        }
        m_state.offered = args.at(1);
        if (m_state.offered == m_state.current) {
            say(QStringLiteral("[Device] ") + m_state.offered + QStringLiteral(" is already installed"));
            return true;
        }
        startDownload();
        return true;
    }
    if (what == QLatin1String("install") && args.size() == 1) {
        if (m_state.pending.isEmpty() || m_state.job != State::None) {
            say(QStringLiteral("[Device] Nothing to install now"));
            return true;
        }
        startInstall();
        return true;
    }
    return false;
}
