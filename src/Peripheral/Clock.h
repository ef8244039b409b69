#pragma once

#include "ServiceClient.h"

#include <QStringList>

namespace manager {

// The device's time zone, read and set through timedatectl, and its NTP settings,
// owned by the device service under deviceBase + "/clock/ntp".
class Clock : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(QStringList timezones READ timezones NOTIFY timezonesChanged)
    Q_PROPERTY(QString timezone READ timezone WRITE setTimezone NOTIFY timezoneChanged)
    Q_PROPERTY(QString ntpServer READ ntpServer WRITE setNtpServer NOTIFY ntpServerChanged)
    Q_PROPERTY(bool ntpEnabled READ ntpEnabled WRITE setNtpEnabled NOTIFY ntpEnabledChanged)
    Q_PROPERTY(bool ntpSynced READ ntpSynced NOTIFY ntpSyncedChanged)
public:
    Clock(MqttClient& mqtt, const QString& deviceBase, QObject* parent = nullptr);

    // Read from timedatectl when first asked: only the region settings show the list,
    // and a process started with every client would delay the first frame.
    QStringList timezones() const;
    // Asks the system every time; empty when timedatectl is missing, fails or hangs.
    QString timezone() const;
    QString ntpServer() const { return m_ntpServer; }
    bool ntpEnabled() const { return m_ntpEnabled; }
    bool ntpSynced() const { return m_ntpSynced; }

    void setTimezone(const QString& zone);
    void setNtpServer(const QString& server);
    void setNtpEnabled(bool enabled);

    Q_INVOKABLE void ntpSync();
    Q_INVOKABLE void refresh() override;

    // How long one timedatectl run may take before it is killed.
    static constexpr int CommandLimitMillis = 1000;
    // Runs timedatectl with the arguments as they are (no shell in between) and
    // returns what it printed on standard output within the limit.
    static QString runTimedatectl(const QStringList& arguments);

signals:
    void timezonesChanged();
    void timezoneChanged();
    void ntpServerChanged();
    void ntpEnabledChanged();
    void ntpSyncedChanged();

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;
    void reportParseError(const QByteArray& payload, const QString& errorText) override;

private:
    void onStatusReceived(const QJsonObject& object);
    void onConfigReceived(const QJsonObject& object);
    void requestConfig(bool enabled, const QString& server);

    mutable QStringList m_timezones;
    mutable bool m_timezonesRead = false;
    QString m_ntpServer;
    bool m_ntpEnabled = false;
    bool m_ntpSynced = false;
};

} // namespace manager
