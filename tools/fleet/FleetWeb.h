#pragma once

#include "FleetView.h"
#include "HttpServer.h"

#include <QMultiHash>
#include <QSet>
#include <QTimer>

namespace manager {
class MqttClient;
}

// The depot's web service over a FleetView: the page, the units as JSON, a stream of
// their changes (Server-Sent Events), the figures for Prometheus, each unit's screen and
// event log on request, and configuration changes for whoever holds the token.
class FleetWeb : public QObject
{
    Q_OBJECT
public:
    // How long a request waits for a unit's answer before it gets 504.
    static constexpr int kAnswerTimeoutMs = 15000;
    // Changes are sent in batches, so a busy fleet costs one message per interval.
    static constexpr int kStreamIntervalMs = 500;
    static constexpr int kKeepAliveMs = 15000;

    // An empty TOKEN leaves the page read-only.
    FleetWeb(FleetView& view, manager::MqttClient& mqtt, const QByteArray& token, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_server.port(); }

    // The JSON of one unit: for the list, or with its health and (masked) configuration.
    static QJsonObject unitJson(const QString& serial, const FleetView::Unit& unit, bool details);
    // A configuration change as the page sends it: {"group": {"name": value, ...}, ...} with
    // plain names and scalar values. Gives the "group/name" keys, or an empty list with WHY.
    static QStringList checkConfigChange(const QJsonObject& change, QString* why);

private:
    HttpServer::Response handle(const HttpServer::Request& request, HttpServer::Exchange& exchange);
    HttpServer::Response unitsResponse() const;
    HttpServer::Response configChange(const QString& serial, const HttpServer::Request& request);
    HttpServer::Response resource(const QString& name) const;
    void awaitAnswer(
        QMultiHash<QString, HttpServer::Ticket>& waiting, const QString& serial, HttpServer::Ticket ticket);
    void answerAll(
        QMultiHash<QString, HttpServer::Ticket>& waiting, const QString& serial, const HttpServer::Response& response);
    void flushChanges();
    QJsonObject summary() const;

    FleetView& m_view;
    manager::MqttClient& m_mqtt;
    QByteArray m_token;
    HttpServer m_server;
    bool m_brokerConnected = false;
    QSet<QString> m_dirty;
    QTimer m_flush;
    QTimer m_keepAlive;
    QMultiHash<QString, HttpServer::Ticket> m_waitingScreens;
    QMultiHash<QString, HttpServer::Ticket> m_waitingEvents;
};
