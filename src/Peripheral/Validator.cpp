#include "Validator.h"

#include "MqttClient.h"
#include "Topics.h"

#include <QDebug>
#include <QHash>
#include <QStringList>

namespace manager {

namespace {

QJsonObject objectAt(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toObject(); }

bool isTrue(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toBool(); }

// Decimal text to int; anything that is not a number within int range gives 0.
int decimal(const QJsonObject& object, const char* key)
{
    bool ok = false;
    const int value = object.value(QLatin1String(key)).toString().toInt(&ok, 10);
    return ok ? value : 0;
}

// The configured URL as it may appear in a log: the password never does.
QString maskedUrl(QUrl url)
{
    if (!url.password().isEmpty())
        url.setPassword(QStringLiteral("*****"));
    return url.toString();
}

} // namespace

Validator::Validator(MqttClient& mqtt, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Validator] "), parent)
    , m_config(this)
    , m_barcode(this)
    , m_rfid(this)
{
    connect(&m_mqtt, &MqttClient::disconnected, this, &Validator::onMqttDisconnected);

    subscribe(topic("/info"));
    subscribe(topic("/status"));
    subscribe(topic("/config"));
    subscribe(topic("/rfid/retry"));
    subscribe(topic("/rfid/removed"));
    subscribe(topic("/rfid/scanned"));
    subscribe(topic("/barcode/scanned"));
    subscribe(topic("/barcode/maintenance/scanned"));
    subscribe(topics::CardRemoved);
    subscribe(topics::CardFound);
}

void Validator::onMqttReceived(const QByteArray& payload, const QByteArray& topic)
{
    // The card reader's removal notice carries nothing worth parsing, and must get
    // through even when its payload is not JSON.
    if (QString::fromUtf8(topic) == topics::CardRemoved) {
        emit cardRemoved();
        return;
    }
    ServiceClient::onMqttReceived(payload, topic);
}

bool Validator::acceptsTopic(const QString&) const
{
    // The reader topics lie outside the base topic; dispatch() compares exactly.
    return true;
}

void Validator::dispatch(const QString& topic, const QJsonObject& object)
{
    if (topic == this->topic("/info"))
        onInfoReceived(object, topic);
    else if (topic == this->topic("/status"))
        onStatusReceived(object, topic);
    else if (topic == this->topic("/config"))
        onConfigReceived(object, topic);
    else if (topic == this->topic("/rfid/retry"))
        emit cardRetry();
    else if (topic == topics::CardFound)
        onCardFound(object, topic);
    else if (topic == this->topic("/rfid/scanned"))
        onCardScannedReceived(object, topic);
    else if (topic == this->topic("/barcode/scanned"))
        onBarcodeScannedReceived(object, topic);
    else if (topic == this->topic("/barcode/maintenance/scanned"))
        emit maintenanceBarcodeScanned(object);
}

void Validator::onMqttDisconnected()
{
    setStatus(QStringLiteral("offline"));
    setReason(QStringLiteral("MQTT Disconnected"), QStringLiteral("#0001"));
}

void Validator::onInfoReceived(const QJsonObject& object, const QString&)
{
    const QJsonObject device = objectAt(object, "device");
    m_barcode.fromJson(objectAt(device, "barcode"));
    m_rfid.fromJson(objectAt(device, "rfid"));

    update(
        m_version, objectAt(object, "service").value(QLatin1String("version")).toString(), &Validator::versionChanged);
}

void Validator::onStatusReceived(const QJsonObject& object, const QString&)
{
    // The reader models first: the decision below reads the card reader's state.
    const QJsonObject device = objectAt(object, "device");
    m_rfid.fromJson(objectAt(device, "rfid"));
    m_barcode.fromJson(objectAt(device, "barcode"));

    if (!isTrue(object, "service")) {
        setStatus(QStringLiteral("offline"));
        setReason(QStringLiteral("BLM service down"), QStringLiteral("#0002"));
        return;
    }

    update(
        m_vehicle, objectAt(object, "obu").value(QLatin1String("vehicleUuid")).toString(), &Validator::vehicleChanged);
    update(m_route, objectAt(object, "route").value(QLatin1String("axisName")).toString(), &Validator::routeChanged);

    const QJsonObject state = objectAt(object, "state");
    QString status;
    QString reason;
    QString code;
    if (isTrue(state, "init")) {
        status = QStringLiteral("init");
    } else if (!isTrue(state, "hasRfid")) {
        status = QStringLiteral("offline");
        if (m_rfid.state() == QLatin1String("Updating")) {
            reason = QStringLiteral("RFID firmware is updating");
            code = QStringLiteral("#0003");
        } else {
            reason = QStringLiteral("RFID is not operational");
            code = QStringLiteral("#0004");
        }
    } else if (state.contains(QLatin1String("hasNtp")) && !isTrue(state, "hasNtp")) {
        // Older services do not report the clock at all; only an explicit "not
        // synchronised" counts against it.
        status = QStringLiteral("offline");
        reason = QStringLiteral("NTP not synchronized");
        code = QStringLiteral("#0007");
    } else if (!isTrue(state, "hasRoute")) {
        status = QStringLiteral("out-of-service");
        reason = QStringLiteral("No route");
        code = QStringLiteral("#0006");
    } else if (isTrue(state, "hasQr") && isTrue(state, "hasObu")) {
        status = QStringLiteral("online");
    } else {
        QStringList failures;
        if (!isTrue(state, "hasObu"))
            failures << QStringLiteral("OBC lost");
        if (!isTrue(state, "hasQr"))
            failures << QStringLiteral("Barcode not operational");
        status = QStringLiteral("degraded");
        reason = failures.join(QLatin1Char(','));
        code = QStringLiteral("#0005");
    }
    setStatus(status);
    setReason(reason, code);
}

void Validator::onConfigReceived(const QJsonObject& object, const QString&)
{
    const QJsonObject blm = objectAt(object, "blm");
    const QJsonObject validator = objectAt(object, "validator");

    m_config.setObuUrl(parseUrl(blm));
    m_config.setPassbackSecs(decimal(validator, "passbackTime"));
    m_config.setPassbackQrEnabled(validator.value(QLatin1String("qr_passback")).toString() == QLatin1String("true"));

    log(QtWarningMsg) << "Config received : ";
    log(QtWarningMsg) << "OBU URL         : " << maskedUrl(m_config.obuUrl());
    log(QtWarningMsg) << "Passback Time   : " << m_config.passbackSecs() << " sec(s)";
    log(QtWarningMsg) << "Passback QR En  : " << (m_config.passbackQrEnabled() ? "true" : "false");
    emit configChanged();
}

void Validator::onCardFound(const QJsonObject& object, const QString&)
{
    emit cardDetected(
        object.value(QLatin1String("uid")).toString(), mapCardType(object.value(QLatin1String("type")).toInt()));
}

void Validator::onCardScannedReceived(const QJsonObject& object, const QString&)
{
    const Transaction transaction(objectAt(object, "transaction"));
    emit ticketValidated(transaction);
}

void Validator::onBarcodeScannedReceived(const QJsonObject& object, const QString&)
{
    const Transaction transaction(objectAt(object, "transaction"));
    emit ticketValidated(transaction);
}

void Validator::enableBarcode()
{
    if (m_barcode.enabled())
        return;
    publish(topics::BarcodeEnable, QByteArray());
}

void Validator::disableBarcode()
{
    if (!m_barcode.enabled())
        return;
    publish(topics::BarcodeDisable, QByteArray());
}

void Validator::enableRfid()
{
    if (m_rfid.enabled())
        return;
    publishJson(topics::RfidEnable, QJsonObject { { QStringLiteral("autoread"), true } });
}

void Validator::disableRfid()
{
    if (!m_rfid.enabled())
        return;
    publish(topics::RfidDisable, QByteArray());
}

void Validator::saveConfig()
{
    const QUrl url = m_config.obuUrl();
    const QJsonObject blm {
        { QStringLiteral("obu_username"), url.userName(QUrl::FullyDecoded) },
        { QStringLiteral("obu_password"), url.password(QUrl::FullyDecoded) },
        { QStringLiteral("obu_host"), url.host(QUrl::FullyDecoded) },
        { QStringLiteral("obu_port"), url.port(-1) },
    };
    const QJsonObject validator {
        { QStringLiteral("passbackTime"), m_config.passbackSecs() },
        { QStringLiteral("qr_passback"), m_config.passbackQrEnabled() },
    };
    publishJson(topic("/config/set"),
        QJsonObject { { QStringLiteral("blm"), blm }, { QStringLiteral("validator"), validator } });
}

void Validator::refreshConfig() { publish(topic("/config/get"), QByteArrayLiteral("{ }")); }

void Validator::setStatus(const QString& status)
{
    update(m_status, status, &Validator::statusChanged, QtWarningMsg, "Validator status is : ", status);
}

void Validator::setReason(const QString& reason, const QString& code)
{
    if (reason == m_reason && code == m_reasonCode)
        return;
    m_reason = reason;
    m_reasonCode = code;
    emit reasonChanged();
}

QUrl Validator::parseUrl(const QJsonObject& blm)
{
    QUrl url;
    url.setScheme(QStringLiteral("mqtt"));
    url.setHost(blm.value(QLatin1String("obu_host")).toString());
    const QString user = blm.value(QLatin1String("obu_username")).toString();
    if (!user.isEmpty())
        url.setUserName(user);
    const QString password = blm.value(QLatin1String("obu_password")).toString();
    if (!password.isEmpty())
        url.setPassword(password);
    // A port beyond 65535 would make the whole URL invalid; treat it as no port.
    const int port = decimal(blm, "obu_port");
    if (port > 0 && port <= 65535)
        url.setPort(port);
    return url;
}

QString Validator::mapCardType(int code)
{
    static const QHash<int, QString> names {
        { 0, QStringLiteral("Unknown") },
        { 1, QStringLiteral("ISO14443-4A") },
        { 2, QStringLiteral("ISO14443-4B") },
        { 4, QStringLiteral("MIFARE Classic 1K") },
        { 8, QStringLiteral("MIFARE Classic 4K") },
        { 16, QStringLiteral("MIFARE Plus 2K") },
        { 32, QStringLiteral("MIFARE Plus 4K") },
        { 64, QStringLiteral("MIFARE Ultralight") },
        { 128, QStringLiteral("MIFARE Mini") },
        { 256, QStringLiteral("MIFARE DESFire") },
        { 512, QStringLiteral("EMV") },
        { 32768, QStringLiteral("Other") },
    };
    return names.value(code, QStringLiteral("Unknown"));
}

} // namespace manager
