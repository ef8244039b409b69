#pragma once

#include "ServiceClient.h"
#include "Transaction.h"
#include "ValidatorBarcode.h"
#include "ValidatorConfig.h"
#include "ValidatorRfid.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

namespace manager {

// The user interface's view of the validator (ticketing) service: mirrors its
// info, status and configuration, turns its status into a status word with a
// reason, and turns card and ticket events into signals. Also switches the card
// and barcode readers, whose topics lie outside the service's base topic.
class Validator : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString reason READ reason NOTIFY reasonChanged)
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
    Q_PROPERTY(QString route READ route NOTIFY routeChanged)
    Q_PROPERTY(QString vehicle READ vehicle NOTIFY vehicleChanged)
    Q_PROPERTY(ValidatorConfig* config READ config NOTIFY configChanged)
    Q_PROPERTY(ValidatorBarcode* barcode READ barcode NOTIFY barcodeChanged)
    Q_PROPERTY(ValidatorRfid* rfid READ rfid NOTIFY rfidChanged)
public:
    Validator(MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QString status() const { return m_status; }
    QString reason() const { return m_reason; }
    QString reasonCode() const { return m_reasonCode; }
    QString version() const { return m_version; }
    QString route() const { return m_route; }
    QString vehicle() const { return m_vehicle; }
    ValidatorConfig* config() { return &m_config; }
    ValidatorBarcode* barcode() { return &m_barcode; }
    ValidatorRfid* rfid() { return &m_rfid; }
    const ValidatorConfig* config() const { return &m_config; }
    const ValidatorBarcode* barcode() const { return &m_barcode; }
    const ValidatorRfid* rfid() const { return &m_rfid; }

signals:
    void statusChanged();
    void reasonChanged();
    void versionChanged();
    void routeChanged();
    void vehicleChanged();
    void configChanged();
    void barcodeChanged();
    void rfidChanged();
    void cardDetected(QString uid, QString type);
    void cardRemoved();
    void cardRetry();
    // The record lives only during the emission: connect directly, copy what you keep.
    void ticketValidated(const Transaction& transaction);
    void maintenanceBarcodeScanned(QJsonObject data);

public slots:
    void enableBarcode();
    void disableBarcode();
    void enableRfid();
    void disableRfid();
    void saveConfig();
    void refreshConfig();

protected slots:
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic) override;

protected:
    bool acceptsTopic(const QString& topic) const override;
    void dispatch(const QString& topic, const QJsonObject& object) override;

private slots:
    void onMqttDisconnected();
    void onInfoReceived(const QJsonObject& object, const QString& topic);
    void onStatusReceived(const QJsonObject& object, const QString& topic);
    void onConfigReceived(const QJsonObject& object, const QString& topic);
    void onCardFound(const QJsonObject& object, const QString& topic);
    void onCardScannedReceived(const QJsonObject& object, const QString& topic);
    void onBarcodeScannedReceived(const QJsonObject& object, const QString& topic);

private:
    void setStatus(const QString& status);
    void setReason(const QString& reason, const QString& code);
    static QUrl parseUrl(const QJsonObject& blm);
    static QString mapCardType(int code);

    QString m_status;
    QString m_reason;
    QString m_reasonCode;
    QString m_version;
    QString m_route;
    QString m_vehicle;
    ValidatorConfig m_config;
    ValidatorBarcode m_barcode;
    ValidatorRfid m_rfid;
};

} // namespace manager
