#pragma once

#include "ServiceClient.h"

class QTimer;

namespace manager {

// Mirrors the device service's software-update state and sends its two requests,
// check and install; the service does the downloading and installing.
class Update : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString current READ current NOTIFY currentChanged)
    Q_PROPERTY(QString pending READ pending NOTIFY pendingChanged)
    Q_PROPERTY(QString progressMessage READ progressMessage NOTIFY progressMessageChanged)
    Q_PROPERTY(int progressPercent READ progressPercent NOTIFY progressPercentChanged)
public:
    Update(MqttClient& mqtt, const QString& deviceBase, QObject* parent = nullptr);

    QString status() const { return m_status; }
    QString current() const { return m_current; }
    QString pending() const { return m_pending; }
    QString progressMessage() const { return m_progressMessage; }
    int progressPercent() const { return m_progressPercent; }

    Q_INVOKABLE void check();
    Q_INVOKABLE void install();

    // How long check() waits for the service to start reporting progress.
    static constexpr int CheckTimeoutMillis = 5000;
    void setCheckTimeout(int millis);

signals:
    void statusChanged();
    void currentChanged();
    void pendingChanged();
    void progressMessageChanged();
    void progressPercentChanged();

public slots:
    void refresh() override;

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private slots:
    void onDisconnected();
    void onCheckTimeout();

private:
    void onStatusReceived(const QJsonObject& object);
    void onVersionReceived(const QJsonObject& object);
    void onProgressReceived(const QJsonObject& object);
    void settleStatus();

    QString m_status;
    QString m_current;
    QString m_pending;
    QString m_progressMessage;
    int m_progressPercent = 0;
    QTimer* m_checkTimer;
};

} // namespace manager
