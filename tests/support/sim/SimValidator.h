#pragma once

#include "SimService.h"

#include <QVector>

class QTimer;

// The validator service with its card and barcode readers: status, information and
// configuration, reader switches, and the transactions of passengers' cards and tickets.
class SimValidator : public SimService
{
    Q_OBJECT
public:
    SimValidator(manager::MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QStringList requestTopics() const override;
    bool handleRequest(const QString& topic, const QJsonObject& request, bool empty) override;
    void publishAll() override;
    QStringList stateLines() const override;

    // Commands of the shell; false for bad arguments.
    bool cmdTap(const QStringList& args);
    bool cmdScan(const QStringList& args);
    bool cmdCard(const QStringList& args);
    bool cmdStatus(const QStringList& args);
    bool cmdMaint(const QStringList& args);

    // One validation the service would publish: its topic and its JSON message.
    struct Sample
    {
        QString topic;
        QByteArray payload;
    };
    // The sample validations of the tests and the screenshots, every ticket type valid
    // and refused in turn (so each one changes the screen), on this service's topics.
    // The soak and the benchmarks replay these.
    QVector<Sample> samples() const;

private:
    struct State
    {
        bool service = true;
        bool init = false;
        bool hasRfid = true;
        bool rfidUpdating = false;
        bool hasNtp = true;
        bool hasRoute = true;
        bool hasQr = true;
        bool hasObu = true;
        bool rfidEnabled = false;
        bool barcodeEnabled = false;
        QString obuHost = QStringLiteral("192.168.1.200");
        int obuPort = 1883;
        QString obuUser = QStringLiteral("validator");
        QString obuPassword = QStringLiteral("s3cret");
        int passbackSecs = 120;
        bool qrPassback = true;
        int balanceCents = 1250;
        int journeys = 10;
        int cappedCents = 0;
        int sequence = 0;
    };

    QJsonObject info() const;
    QJsonObject status() const;
    QJsonObject config() const;
    void publishStatus();

    QJsonObject cardTransaction(const QString& kind, int type, bool valid, int denyId);
    QJsonObject barcodeTransaction(bool valid, int denyId);
    QString newCardUid() const;
    void warnIfReaderOff(bool rfid);
    void removeCard();

    State m_state;
    // A tapped card is taken away again a moment later.
    QTimer* m_cardRemoval = nullptr;
};
