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
    log(QtInfoMsg) << "Checking for updates";
    update(m_status, Checking, &Update::statusChanged);
    m_checkTimer->start();
    publish(topic("/software/check"), QByteArray());
}

void Update::install()
{
    if (m_pending.isEmpty()) {
        log(QtWarningMsg) << "WARN: Cannot install. There are no pending versions";
        return;
    }
    log(QtInfoMsg) << "Installing pending update : " << m_pending;
    publish(topic("/update/software/install"), QByteArray());
}

void Update::onDisconnected()
{
    // A check cannot be answered without the broker; letting its time-out run
    // would turn "Disconnected" back into a verdict nobody gave.
    m_checkTimer->stop();
    update(m_status, Disconnected, &Update::statusChanged);
}

void Update::onCheckTimeout()
{
    log(QtInfoMsg) << "No pedning updates";
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
        update(m_current, software.toString(), &Update::currentChanged);
    } else if (software.isObject()) {
        const QJsonObject versions = software.toObject();
        update(m_current, versions.value(QStringLiteral("current")).toString(), &Update::currentChanged);
        update(m_pending, versions.value(QStringLiteral("pending")).toString(), &Update::pendingChanged);
    }
    settleStatus();
    update(m_progressMessage, QStringLiteral("Idle"), &Update::progressMessageChanged);
    update(m_progressPercent, 0, &Update::progressPercentChanged);
}

void Update::onVersionReceived(const QJsonObject& object)
{
    update(m_current, object.value(QStringLiteral("current")).toString(), &Update::currentChanged);
    update(m_pending, object.value(QStringLiteral("pending")).toString(), &Update::pendingChanged);
}

void Update::onProgressReceived(const QJsonObject& object)
{
    update(m_progressMessage, object.value(QStringLiteral("message")).toString(), &Update::progressMessageChanged);
    update(m_progressPercent, object.value(QStringLiteral("progress")).toInt(), &Update::progressPercentChanged);
    update(m_pending, object.value(QStringLiteral("version")).toString(), &Update::pendingChanged);
    m_checkTimer->stop();
    // Download progress reads like "12/40"; installation steps carry no slash.
    update(m_status, m_progressMessage.contains(QLatin1Char('/')) ? Downloading : Installing, &Update::statusChanged);
}

void Update::settleStatus()
{
    update(m_status, m_pending.isEmpty() ? NoPendingUpdates : ReadyToInstall, &Update::statusChanged);
}

} // namespace manager
