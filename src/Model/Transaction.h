#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

// One validation result as the validator service reported it. Nothing is parsed
// up front: every property reads the stored object, so a malformed member only
// ever yields its empty value.
class Transaction : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool valid READ valid CONSTANT)
    Q_PROPERTY(Type type READ type CONSTANT)
    Q_PROPERTY(int denyReasonId READ denyReasonId CONSTANT)
    Q_PROPERTY(QString denyReason READ denyReason CONSTANT)
    Q_PROPERTY(QString ticketId READ ticketId CONSTANT)
    Q_PROPERTY(QString fareProduct READ fareProduct CONSTANT)
    Q_PROPERTY(QString passengerType READ passengerType CONSTANT)
    Q_PROPERTY(QVariantMap details READ details CONSTANT)
    Q_PROPERTY(QVariantMap ticket READ ticket CONSTANT)
public:
    // Fixed underlying type: the service may send numbers outside the list, and
    // they are handed on as they are.
    enum Type : int {
        Barcode = 0,
        CardEPurse = 2,
        CardStoredJourneys = 5,
        CardPeriodPass = 8,
        CardEMV = 10,
        CardTransfer = 12,
        CardPassengerTypeUpdate = 13,
        CardTransferEPurse = 14,
        CardCappingEPurse = 15,
        CardCappingStoredJourneys = 16,
    };
    Q_ENUM(Type)

    explicit Transaction(QObject* parent = nullptr);
    explicit Transaction(const QJsonObject& object, QObject* parent = nullptr);

    bool valid() const;
    Type type() const;
    int denyReasonId() const;
    // Refused because the ticket was already validated (reasons 103 and 207).
    bool alreadyValid() const;
    // Translated on every call, so a language switch shows on the next read.
    QString denyReason() const;
    QString ticketId() const;
    QString fareProduct() const;
    QString passengerType() const;
    QVariantMap details() const;
    QVariantMap ticket() const { return {}; }

    // The form in which the record reaches QML.
    Q_INVOKABLE QVariantMap toMap() const;

private:
    static QDateTime convertTimestamp(const QString& text);
    static QVariantMap defaultDetails();

    QJsonObject m_data;
};

Q_DECLARE_METATYPE(Transaction*)
