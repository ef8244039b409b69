#include "Transaction.h"

#include <QDate>
#include <QTime>

#include <limits>

namespace {

QJsonObject member(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toObject(); }

int toInt(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toInt(); }

} // namespace

Transaction::Transaction(QObject* parent)
    : QObject(parent)
{
}

Transaction::Transaction(const QJsonObject& object, QObject* parent)
    : QObject(parent)
    , m_data(object)
{
}

bool Transaction::valid() const { return m_data.value(QLatin1String("result")).toBool(); }

Transaction::Type Transaction::type() const { return static_cast<Type>(toInt(m_data, "type")); }

int Transaction::denyReasonId() const { return toInt(member(m_data, "denyReason"), "id"); }

bool Transaction::alreadyValid() const { return !valid() && (denyReasonId() == 103 || denyReasonId() == 207); }

QString Transaction::denyReason() const
{
    switch (denyReasonId()) {
    case 100:
        return tr("The ticket is invalid");
    case 101:
        return tr("The ticket has expired");
    case 102:
        return tr("The ticket is not allowed in this route");
    case 103:
        return tr("The ticket has already been validated");
    case 104:
        return tr("The ticket is not yet active");
    case 105:
        return tr("Please try again");
    case 106:
        return tr("The ticket does not belong to this operator");
    case 107:
        return tr("The ticket has an invalid passenger profile");
    case 108:
        return tr("The ticket is not allowed in this axis");
    case 109:
        return tr("The ticket is not allowed in this zone");
    case 110:
        return tr("The ticket has invalid timestamp");
    case 200:
        return tr("The card is invalid");
    case 201:
        return tr("The card has expired");
    case 202:
        return tr("The card is not allowed in this route");
    case 203:
        return tr("The card has already been validated");
    case 204:
        return tr("The card does not have enough trips");
    case 205:
        return tr("The card does not have sufficient balance");
    case 206:
        return tr("This card can no longer be used");
    case 207:
        return tr("The card has already been validated");
    case 208:
        return tr("The card is not active");
    case 209:
        return tr("The card does not belong to this operator");
    case 250:
    case 251:
    case 252:
    case 253:
    case 254:
    case 255:
        return tr("The card is blocked");
    case 300:
        return tr("The product is blocked");
    case 301:
        return tr("The product is not yet active");
    case 500:
        return tr("Internal Error");
    default:
        return tr("Unknown Error");
    }
}

QString Transaction::ticketId() const { return m_data.value(QLatin1String("ticketId")).toString(); }

QString Transaction::fareProduct() const { return m_data.value(QLatin1String("fareProductName")).toString(); }

QString Transaction::passengerType() const { return m_data.value(QLatin1String("passengerTypeName")).toString(); }

QVariantMap Transaction::details() const
{
    QVariantMap details = defaultDetails();
    const QJsonObject card = member(m_data, "card");

    switch (toInt(m_data, "type")) {
    case Barcode: {
        const QJsonObject barcode = member(m_data, "barcode");
        details[QStringLiteral("fromStopGroupName")] = barcode.value(QLatin1String("fromStopGroupName")).toString();
        details[QStringLiteral("toStopGroupName")] = barcode.value(QLatin1String("toStopGroupName")).toString();
        details[QStringLiteral("transferRemainingMin")] = toInt(barcode, "transferRemainingMin");
        break;
    }
    case CardEPurse:
    case CardCappingEPurse: {
        // 64-bit difference: two balances at opposite ends of int must not overflow.
        const qint64 before = toInt(card, "balanceBefore");
        const qint64 after = toInt(card, "balanceAfter");
        details[QStringLiteral("deducted")] = double(before - after) / 100.0;
        details[QStringLiteral("remaining")] = double(after) / 100.0;
        break;
    }
    case CardPeriodPass: {
        const QJsonObject pass = member(card, "periodPass");
        const QJsonValue minutesValue = pass.value(QLatin1String("remainingMinutes"));
        qint64 minutes = 0;
        if (!minutesValue.isUndefined() && !minutesValue.isNull())
            minutes = minutesValue.toInt();
        else
            minutes = qint64(toInt(pass, "remainingDays")) * 1440;
        // Absurd day counts from the service are capped rather than wrapped.
        minutes = qBound<qint64>(std::numeric_limits<int>::min(), minutes, std::numeric_limits<int>::max());
        details[QStringLiteral("activationTimestamp")]
            = convertTimestamp(pass.value(QLatin1String("activationTimestamp")).toString());
        details[QStringLiteral("remaining")] = int(minutes);
        details[QStringLiteral("expires")] = QDateTime::currentDateTime().addSecs(minutes * 60);
        break;
    }
    case CardStoredJourneys:
    case CardCappingStoredJourneys:
    case CardTransfer: {
        const QJsonObject journeys = member(card, "storedJourneys");
        details[QStringLiteral("activationTimestamp")]
            = convertTimestamp(journeys.value(QLatin1String("activationTimestamp")).toString());
        details[QStringLiteral("remaining")] = toInt(journeys, "after");
        details[QStringLiteral("transferRemainingMin")] = toInt(journeys, "transferRemainingMin");
        break;
    }
    case CardTransferEPurse:
        details[QStringLiteral("deducted")] = 0;
        details[QStringLiteral("remaining")] = double(toInt(card, "balanceAfter")) / 100.0;
        details[QStringLiteral("transferRemainingMin")] = toInt(member(card, "ePurse"), "transferRemainingMin");
        break;
    default:
        break;
    }
    return details;
}

QVariantMap Transaction::toMap() const
{
    return {
        { QStringLiteral("valid"), valid() },
        { QStringLiteral("type"), int(type()) },
        { QStringLiteral("denyReason"), denyReason() },
        { QStringLiteral("denyReasonId"), denyReasonId() },
        { QStringLiteral("fareProduct"), fareProduct() },
        // The screens read this key as it has always been spelled.
        { QStringLiteral("passengeType"), passengerType() },
        { QStringLiteral("details"), details() },
    };
}

QDateTime Transaction::convertTimestamp(const QString& text)
{
    // Date and time are parsed apart and joined as UTC: parsing the whole text as
    // local time would reject instants that fall in a local daylight-saving gap.
    if (text.size() != 20 || text.at(10) != QLatin1Char('T') || text.at(19) != QLatin1Char('Z'))
        return QDateTime();
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11, 8), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC).toLocalTime();
}

QVariantMap Transaction::defaultDetails()
{
    return {
        { QStringLiteral("fromStopGroupName"), QString() },
        { QStringLiteral("toStopGroupName"), QString() },
        { QStringLiteral("deducted"), 0.0 },
        { QStringLiteral("remaining"), 0.0 },
        { QStringLiteral("activationTimestamp"), QDateTime() },
        { QStringLiteral("expires"), QDateTime() },
        { QStringLiteral("transferRemainingMin"), 0 },
    };
}
