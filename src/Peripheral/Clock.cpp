#include "Clock.h"

#include "MqttClient.h"
#include "Secrets.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace manager {

Clock::Clock(MqttClient& mqtt, const QString& deviceBase, QObject* parent)
    : ServiceClient(mqtt, deviceBase + QStringLiteral("/clock/ntp"), QStringLiteral("[Clock] "), parent)
{
    connect(&m_mqtt, &MqttClient::connected, this, &Clock::refresh);
    subscribe(topic("/status"));
    subscribe(topic("/config"));
}

QString Clock::runTimedatectl(const QStringList& arguments)
{
    QDeadlineTimer deadline(CommandLimitMillis);
    QProcess process;
    process.setProgram(QStringLiteral("timedatectl"));
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForFinished(int(qMax<qint64>(deadline.remainingTime(), 0)))
        && process.state() != QProcess::NotRunning) {
        process.kill();
        // SIGKILL cannot be ignored; this only reaps the child and collects the
        // last of what it wrote.
        process.waitForFinished(CommandLimitMillis);
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList Clock::timezones() const
{
    if (!m_timezonesRead) {
        m_timezonesRead = true;
        m_timezones = runTimedatectl({ QStringLiteral("--no-pager"), QStringLiteral("list-timezones") })
                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    return m_timezones;
}

QString Clock::timezone() const
{
    static const QRegularExpression zoneLine(QStringLiteral("Time zone:\\s(.+)\\s\\("));
    const QRegularExpressionMatch match = zoneLine.match(runTimedatectl({ QStringLiteral("status") }));
    return match.hasMatch() ? match.captured(1) : QString();
}

void Clock::setTimezone(const QString& zone)
{
    if (timezone() == zone)
        return;
    // The zone is one argument of its own, whatever characters it holds.
    runTimedatectl({ QStringLiteral("set-timezone"), zone });
    emit timezoneChanged();
}

void Clock::setNtpServer(const QString& server)
{
    if (server == m_ntpServer)
        return;
    log(QtInfoMsg) << "Setting NTP server : " << server;
    requestConfig(m_ntpEnabled, server);
}

void Clock::setNtpEnabled(bool enabled)
{
    if (enabled == m_ntpEnabled)
        return;
    log(QtInfoMsg) << "Setting NTP : " << (enabled ? "enabled" : "disabled");
    requestConfig(enabled, m_ntpServer);
}

void Clock::requestConfig(bool enabled, const QString& server)
{
    QJsonObject request;
    request.insert(QStringLiteral("enabled"), enabled);
    request.insert(QStringLiteral("server"), server);
    publishJson(topic("/config/set"), request);
}

void Clock::ntpSync()
{
    log(QtInfoMsg) << "Requesting NTP sync";
    m_ntpSynced = false;
    emit ntpSyncedChanged();
    publish(topic("/sync"), QByteArray());
}

void Clock::refresh()
{
    log(QtInfoMsg) << "Refreshing Clock status and config";
    publish(topic("/status/get"), QByteArray());
    publish(topic("/config/get"), QByteArray());
}

void Clock::dispatch(const QString& topicName, const QJsonObject& object)
{
    if (topicName.contains(QLatin1String("/ntp/status")))
        onStatusReceived(object);
    else if (topicName.contains(QLatin1String("/ntp/config")))
        onConfigReceived(object);
}

void Clock::reportParseError(const QByteArray& payload, const QString&)
{
    log(QtCriticalMsg) << "Failed to parse JSON message: " << manager::maskSecrets(QString::fromUtf8(payload));
}

void Clock::onStatusReceived(const QJsonObject& object)
{
    update(m_ntpEnabled, object.value(QStringLiteral("enabled")).toBool(), &Clock::ntpEnabledChanged);
    update(m_ntpSynced, object.value(QStringLiteral("synced")).toBool(), &Clock::ntpSyncedChanged);
}

void Clock::onConfigReceived(const QJsonObject& object)
{
    update(m_ntpEnabled, object.value(QStringLiteral("enabled")).toBool(), &Clock::ntpEnabledChanged);
    update(m_ntpServer, object.value(QStringLiteral("server")).toString(), &Clock::ntpServerChanged);
}

} // namespace manager
