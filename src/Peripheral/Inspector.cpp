#include "Inspector.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonObject>

#include <climits>

namespace manager {

Inspector::Inspector(MqttClient& mqtt, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Inspector] "), parent)
{
    m_shutdownTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the countdown is a promise to the driver.
    m_shutdownTimer.setTimerType(Qt::PreciseTimer);

    connect(&m_mqtt, &MqttClient::connected, this, &Inspector::refresh);
    connect(&m_shutdownTimer, &QTimer::timeout, this, &Inspector::systemShutdown);

    log(QtInfoMsg) << "Subscribing to topics";
    subscribe(topic("/info"));
    subscribe(topic("/status"));
    subscribe(topic("/audio"));
    subscribe(topic("/stats/cpu"));
    subscribe(topic("/stats/memory"));
    subscribe(topic("/stats/disk"));
}

void Inspector::refresh()
{
    log(QtInfoMsg) << "Refreshing data";
    const QByteArray empty = QByteArrayLiteral("{}");
    publish(topic("/audio/get"), empty);
    publish(topic("/stats/memory/get"), empty);
    publish(topic("/stats/disk/get"), empty);
    publish(topic("/stats/cpu/get"), empty);
}

void Inspector::setAudioVolume(int value)
{
    log(QtInfoMsg) << "Setting 'internal' audio volume : " << value << "%";
    publishJson(topic("/audio/set"),
        QJsonObject { { QStringLiteral("internal"), QJsonObject { { QStringLiteral("volume"), value } } } });
}

void Inspector::audioPlay(const QString& file)
{
    log(QtInfoMsg) << "Playing audio file (card='internal') : " << file;
    publishJson(topic("/audio/play"),
        QJsonObject { { QStringLiteral("device"), QStringLiteral("internal") }, { QStringLiteral("filepath"), file } });
}

void Inspector::publishLater(const QString& topicName)
{
    // Every request keeps its own delay; a request once made is not withdrawn.
    QTimer::singleShot(
        m_requestDelayMsec, Qt::PreciseTimer, this, [this, topicName] { publish(topicName, QByteArray()); });
}

void Inspector::systemReboot()
{
    log(QtInfoMsg) << "Requesting System reboot";
    emit systemRebootStarted();
    publishLater(topic("/power/reboot/request/1"));
}

void Inspector::systemShutdown()
{
    log(QtInfoMsg) << "Requesting System shutdown";
    emit systemShutdownStarted();
    publishLater(topic("/power/shutdown/request/1"));
}

void Inspector::scheduleShutdown(int sec)
{
    if (m_shutdownTimer.isActive())
        return;
    log(QtInfoMsg) << "Scheduling System shutdown in : " << sec << " sec(s)";
    // A delay beyond the timer's range (about 24 days) would wrap to a negative
    // interval and never fire; a negative one means now.
    const qint64 msec = qBound<qint64>(0, qint64(sec) * 1000, INT_MAX);
    m_shutdownTimer.start(int(msec));
}

void Inspector::abortShutdown()
{
    if (!m_shutdownTimer.isActive())
        return;
    log(QtInfoMsg) << "Aborting System shutdown";
    m_shutdownTimer.stop();
}

void Inspector::dispatch(const QString& topicName, const QJsonObject& object)
{
    // The statistics topics are requested and parsed, but what they carry is the
    // service's own and nothing here reads it.
    if (topicName == topic("/info"))
        onInfoReceived(object, topicName);
    else if (topicName == topic("/status"))
        onStatusReceived(object, topicName);
    else if (topicName == topic("/audio"))
        onAudioReceived(object, topicName);
}

void Inspector::onInfoReceived(const QJsonObject& object, const QString& topicName)
{
    log(QtInfoMsg) << "Processing info topic " << topicName;
    m_info.insert(QStringLiteral("version"),
        object.value(QLatin1String("service")).toObject().value(QLatin1String("version")).toString());
    emit infoChanged();
}

void Inspector::onStatusReceived(const QJsonObject& object, const QString& topicName)
{
    log(QtInfoMsg) << "Processing status topic " << topicName;
    setStatus(object.value(QLatin1String("service")).toBool() ? QStringLiteral("online") : QStringLiteral("offline"));
}

void Inspector::setStatus(const QString& status)
{
    update(m_status, status, &Inspector::statusChanged, QtInfoMsg, "Status changed : ", status);
}

void Inspector::onAudioReceived(const QJsonObject& object, const QString&)
{
    const int volume = object.value(QLatin1String("internal")).toObject().value(QLatin1String("volume")).toInt();
    update(m_audioVolume, volume, &Inspector::audioVolumeChanged);
}

} // namespace manager
