#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

class GUIManager;
class Transaction;

// What the unit has been through since start, for the depot's health view: the
// outcome of every validation the validator reported, the time of the last one and
// how often the broker connection came back. Outlives the responders, so a change
// of the base topic does not reset it.
class SupportCounters : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int valid READ valid NOTIFY validChanged)
    Q_PROPERTY(int alreadyValid READ alreadyValid NOTIFY alreadyValidChanged)
    Q_PROPERTY(int refused READ refused NOTIFY refusedChanged)
    Q_PROPERTY(int retry READ retry NOTIFY retryChanged)
    Q_PROPERTY(QDateTime lastValidation READ lastValidation NOTIFY lastValidationChanged)
    Q_PROPERTY(int mqttReconnects READ mqttReconnects NOTIFY mqttReconnectsChanged)

public:
    explicit SupportCounters(GUIManager& gui, QObject* parent = nullptr);

    int valid() const { return m_valid; }
    int alreadyValid() const { return m_alreadyValid; }
    int refused() const { return m_refused; }
    int retry() const { return m_retry; }
    QDateTime lastValidation() const { return m_lastValidation; }
    int mqttReconnects() const { return m_mqttReconnects; }
    qint64 uptimeSec() const { return m_started.elapsed() / 1000; }

signals:
    void validChanged();
    void alreadyValidChanged();
    void refusedChanged();
    void retryChanged();
    void lastValidationChanged();
    void mqttReconnectsChanged();

private slots:
    void onTicketValidated(const Transaction& transaction);
    void onCardRetry();
    void onMqttConnected();

private:
    QElapsedTimer m_started;
    int m_valid = 0;
    int m_alreadyValid = 0;
    int m_refused = 0;
    int m_retry = 0;
    QDateTime m_lastValidation;
    int m_mqttReconnects = 0;
    bool m_everConnected = false;
};

// ISO 8601 with the offset from UTC always written out ("+01:00", "+00:00").
QString isoWithOffset(const QDateTime& time);
