#include "Update.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonObject>
#include <QTimer>

namespace manager {

namespace {

const QString Disconnected = QStringLiteral("Disconnected");
const QString Checking = QStringLiteral("Checking for updates");
const QString ReadyToInstall = QStringLiteral("Ready to install");
const QString NoPendingUpdates = QStringLiteral("No pending updates");
const QString Downloading = QStringLiteral("Downloading");
const QString Installing = QStringLiteral("Installing");

} // namespace

Update::Update(MqttClient& mqtt, const QString& deviceBase, QObject* parent)
    : ServiceClient(mqtt, deviceBase, QStringLiteral("[Update] "), parent)
    , m_status(Disconnected)
    , m_checkTimer(new QTimer(this))
{
    m_checkTimer->setSingleShot(true);
    m_checkTimer->setTimerType(Qt::PreciseTimer);
    m_checkTimer->setInterval(CheckTimeoutMillis);
    connect(&m_mqtt, &MqttClient::connected, this, &Update::refresh);
    connect(&m_mqtt, &MqttClient::disconnected, this, &Update::onDisconnected);
    connect(m_checkTimer, &QTimer::timeout, this, &Update::onCheckTimeout);
    subscribe(topic("/status"));
    subscribe(topic("/update/software/status"));
    subscribe(topic("/update/software/progress"));
    // The service has published its progress under this spelling too.
    subscribe(topic("/update/software/progess"));
}

void Update::setCheckTimeout(int millis) { m_checkTimer->setInterval(millis); }

void Update::refresh() { publish(topic("/status/get"), QByteArray()); }

void Update::check()
{
    qInfo().noquote().nospace() << tag() << "Checking for updates";
    setStatus(Checking);
    m_checkTimer->start();
    publish(topic("/software/check"), QByteArray());
}

void Update::install()
{
    if (m_pending.isEmpty()) {
        qWarning().noquote().nospace() << tag() << "WARN: Cannot install. There are no pending versions";
        return;
    }
    qInfo().noquote().nospace() << tag() << "Installing pending update : " << m_pending;
    publish(topic("/update/software/install"), QByteArray());
}

void Update::onDisconnected()
{
    // A check cannot be answered without the broker; letting its time-out run
    // would turn "Disconnected" back into a verdict nobody gave.
    m_checkTimer->stop();
    setStatus(Disconnected);
}

void Update::onCheckTimeout()
{
    qInfo().noquote().nospace() << tag() << "No pedning updates";
    settleStatus();
}

void Update::dispatch(const QString& topicName, const QJsonObject& object)
{
    if (topicName == topic("/status"))
        onStatusReceived(object);
    else if (topicName == topic("/update/software/status"))
        onVersionReceived(object);
    else if (topicName == topic("/update/software/progress") || topicName == topic("/update/software/progess"))
        onProgressReceived(object);
}

void Update::onStatusReceived(const QJsonObject& object)
{
    const QJsonValue software = object.value(QStringLiteral("update")).toObject().value(QStringLiteral("software"));
    if (software.isString()) {
        setCurrent(software.toString());
    } else if (software.isObject()) {
        const QJsonObject versions = software.toObject();
        setCurrent(versions.value(QStringLiteral("current")).toString());
        setPending(versions.value(QStringLiteral("pending")).toString());
    }
    settleStatus();
    setProgressMessage(QStringLiteral("Idle"));
    setProgressPercent(0);
}

void Update::onVersionReceived(const QJsonObject& object)
{
    setCurrent(object.value(QStringLiteral("current")).toString());
    setPending(object.value(QStringLiteral("pending")).toString());
}

void Update::onProgressReceived(const QJsonObject& object)
{
    setProgressMessage(object.value(QStringLiteral("message")).toString());
    setProgressPercent(object.value(QStringLiteral("progress")).toInt());
    setPending(object.value(QStringLiteral("version")).toString());
    m_checkTimer->stop();
    // Download progress reads like "12/40"; installation steps carry no slash.
    setStatus(m_progressMessage.contains(QLatin1Char('/')) ? Downloading : Installing);
}

void Update::settleStatus() { setStatus(m_pending.isEmpty() ? NoPendingUpdates : ReadyToInstall); }

void Update::setStatus(const QString& value)
{
    if (value == m_status)
        return;
    m_status = value;
    emit statusChanged();
}

void Update::setCurrent(const QString& value)
{
    if (value == m_current)
        return;
    m_current = value;
    emit currentChanged();
}

void Update::setPending(const QString& value)
{
    if (value == m_pending)
        return;
    m_pending = value;
    emit pendingChanged();
}

void Update::setProgressMessage(const QString& value)
{
    if (value == m_progressMessage)
        return;
    m_progressMessage = value;
    emit progressMessageChanged();
}

void Update::setProgressPercent(int value)
{
    if (value == m_progressPercent)
        return;
    m_progressPercent = value;
    emit progressPercentChanged();
}

} // namespace manager
