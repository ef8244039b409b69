#pragma once

#include "MqttClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// A client on a private broker that keeps the newest message of every topic.
struct TopicRecorder
{
    manager::MqttClient client;
    QMap<QString, QByteArray> last;
    int count = 0;

    TopicRecorder(quint16 port, const QString& filter, const QString& user = {}, const QString& password = {})
    {
        client.setPort(port);
        client.setUsername(user);
        client.setPassword(password);
        client.setClientId(QStringLiteral("recorder_%1").arg(quintptr(this)));
        QObject::connect(
            &client, &manager::MqttClient::received, [this](const QByteArray& data, const QByteArray& from) {
                last[QString::fromUtf8(from)] = data;
                ++count;
            });
        client.subscribe(filter, 1);
        client.connect();
    }
    QJsonObject json(const QString& topic) const { return QJsonDocument::fromJson(last.value(topic)).object(); }
};

// The panel as the service starts it: in its state folder, headless, event log beside its settings.
inline void startTicora(QProcess& p, const QString& program, const QString& state, quint16 port)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TICORA_EVENT_LOG"), state + QStringLiteral("/events.ini"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(state);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(
        program, { QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-P"), QString::number(port) });
}
