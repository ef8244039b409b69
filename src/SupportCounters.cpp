#include "SupportCounters.h"

#include "GUIManager.h"
#include "MqttClient.h"
#include "Transaction.h"
#include "Validator.h"

SupportCounters::SupportCounters(GUIManager& gui, QObject* parent) : QObject(parent)
{
    m_started.start();
    connect(gui.validator(), &manager::Validator::ticketValidated, this, &SupportCounters::onTicketValidated);
    connect(gui.validator(), &manager::Validator::cardRetry, this, &SupportCounters::onCardRetry);
    connect(&gui.mqtt(), &manager::MqttClient::connected, this, &SupportCounters::onMqttConnected);
    // The first connection may be up before anyone listened.
    m_everConnected = gui.mqtt().state() == manager::MqttClient::ClientState::Connected;
}

void SupportCounters::onTicketValidated(const Transaction& transaction)
{
    // Counted as the passenger screens tell them apart.
    if (transaction.valid()) {
        ++m_valid;
        emit validChanged();
    } else if (transaction.alreadyValid()) {
        ++m_alreadyValid;
        emit alreadyValidChanged();
    } else {
        ++m_refused;
        emit refusedChanged();
    }
    m_lastValidation = QDateTime::currentDateTime();
    emit lastValidationChanged();
}

void SupportCounters::onCardRetry()
{
    ++m_retry;
    emit retryChanged();
}

void SupportCounters::onMqttConnected()
{
    if (!m_everConnected) {
        m_everConnected = true;
        return;
    }
    ++m_mqttReconnects;
    emit mqttReconnectsChanged();
}

QString isoWithOffset(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    // Qt writes a local time without its offset and UTC as "Z": spell it out.
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
