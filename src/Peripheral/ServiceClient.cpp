#include "ServiceClient.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>

namespace manager {

ServiceClient::ServiceClient(MqttClient& mqtt, const QString& base, const QString& tag, QObject* parent)
    : QObject(parent), m_mqtt(mqtt), m_base(base), m_tag(tag)
{
    connect(&m_mqtt, &MqttClient::received, this, &ServiceClient::onMqttReceived);
}

namespace {

// Counts the arrays and objects the parser would build, stopping past the limit;
// brackets inside strings do not count.
int containersUpTo(const QByteArray& text, int limit)
{
    int count = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if ((c == '[' || c == '{') && ++count > limit) {
            break;
        }
    }
    return count;
}

} // namespace

bool ServiceClient::parseObject(const QByteArray& payload, QJsonObject& object, QString* errorText)
{
    const QByteArray text = payload.isEmpty() ? QByteArrayLiteral("{ }") : payload;
    if (containersUpTo(text, MaxJsonContainers) > MaxJsonContainers) {
        if (errorText)
            *errorText = QStringLiteral("more than %1 arrays and objects in %2 bytes; not parsed")
                             .arg(MaxJsonContainers)
                             .arg(text.size());
        object = QJsonObject();
        return false;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        if (errorText)
            *errorText = error.errorString();
        object = QJsonObject();
        return false;
    }
    object = doc.object();
    return true;
}

QByteArray ServiceClient::toIndentedJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

void ServiceClient::onMqttReceived(const QByteArray& payload, const QByteArray& topicBytes)
{
    const QString topic = QString::fromUtf8(topicBytes);
    if (!acceptsTopic(topic))
        return;
    QJsonObject object;
    QString errorText;
    if (!parseObject(payload, object, &errorText)) {
        reportParseError(payload, errorText);
        return;
    }
    dispatch(topic, object);
}

bool ServiceClient::acceptsTopic(const QString& topic) const
{
    return topic.contains(m_base);
}

void ServiceClient::reportParseError(const QByteArray&, const QString& errorText)
{
    log(QtCriticalMsg) << "Failed to parse JSON message: " << errorText;
}

void ServiceClient::subscribe(const QString& topic)
{
    m_mqtt.subscribe(topic, 0);
}

bool ServiceClient::publish(const QString& topic, const QByteArray& payload)
{
    return m_mqtt.publish(payload, topic, 0, false);
}

bool ServiceClient::publishJson(const QString& topic, const QJsonObject& object)
{
    return publish(topic, toIndentedJson(object));
}

QDebug ServiceClient::log(QtMsgType level) const
{
    // In the default category, as qDebug() and its siblings log, so that the level
    // filters treat these lines alike.
    const QMessageLogger logger(nullptr, 0, nullptr);
    QDebug line = level == QtDebugMsg ? logger.debug()
        : level == QtInfoMsg          ? logger.info()
        : level == QtWarningMsg       ? logger.warning()
                                      : logger.critical();
    line.noquote().nospace() << m_tag;
    return line;
}

void ServiceClient::runMonitor(int msec)
{
    if (msec < 0) {
        log(QtWarningMsg) << "WARN: Invalid monitor interval : " << msec << " msec(s)";
        return;
    }
    if (msec == 0) {
        log(QtInfoMsg) << "Monitor stopped";
        if (m_monitor)
            m_monitor->stop();
        return;
    }
    if (!m_monitor) {
        m_monitor = new QTimer(this);
        connect(m_monitor, &QTimer::timeout, this, [this] { refresh(); });
    }
    log(QtInfoMsg) << "Monitor started : " << msec << " msec(s)";
    m_monitor->start(msec);
    refresh();
}

} // namespace manager
