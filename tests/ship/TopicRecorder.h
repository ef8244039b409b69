#pragma once

#include "MqttClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>

// A client on a private broker that keeps every message it receives, in order.
struct TopicRecorder
{
    manager::MqttClient client;
    QList<QPair<QString, QByteArray>> messages;
    bool up = false;

    TopicRecorder(
        quint16 port, const QString& filter, const QString& user = QString(), const QString& password = QString())
    {
        client.setHostname(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setUsername(user);
        client.setPassword(password);
        client.setRetryMillis(500);
        client.setClientId(QStringLiteral("recorder_%1").arg(quintptr(this)));
        QObject::connect(&client, &manager::MqttClient::connected, [this] { up = true; });
        QObject::connect(
            &client, &manager::MqttClient::received, [this](const QByteArray& data, const QByteArray& from) {
                messages.append({ QString::fromUtf8(from), data });
            });
        client.subscribe(filter, 1);
        client.connect();
    }

    // The newest message on a topic as a JSON object (empty if none).
    QJsonObject last(const QString& topic) const
    {
        for (int i = messages.size() - 1; i >= 0; --i)
            if (messages.at(i).first == topic)
                return QJsonDocument::fromJson(messages.at(i).second).object();
        return {};
    }
    QByteArray lastRaw(const QString& topic) const
    {
        for (int i = messages.size() - 1; i >= 0; --i)
            if (messages.at(i).first == topic)
                return messages.at(i).second;
        return {};
    }
};
