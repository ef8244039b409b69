#include "SampleValidations.h"

#include <QDateTime>
#include <QJsonDocument>

namespace {

bool greek(const QString& locale) { return locale.startsWith(QLatin1String("el")); }

QString utcStamp(qint64 secondsFromNow)
{
    return QDateTime::currentDateTimeUtc().addSecs(secondsFromNow).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

struct Product
{
    int type;
    const char* name;
    const char* english;
    const char* greek;
};

// The fare products a city operator sells, one per ticket type.
const Product kProducts[] = {
    { 0, "barcode", "Single ticket 90 min", "Απλό εισιτήριο 90 λεπτών" },
    { 2, "epurse", "Electronic purse", "Ηλεκτρονικό πορτοφόλι" },
    { 5, "journeys", "10 journeys", "10 διαδρομές" },
    { 8, "period", "Monthly pass, adult", "Μηνιαία κάρτα, ενήλικες" },
    { 10, "emv", "Contactless bank card", "Ανέπαφη τραπεζική κάρτα" },
    { 12, "transfer", "Transfer, 10 journeys", "Μετεπιβίβαση, 10 διαδρομές" },
    { 13, "profile", "Student profile renewed", "Ανανέωση φοιτητικού προφίλ" },
    { 14, "transfer-epurse", "Transfer, electronic purse", "Μετεπιβίβαση, ηλεκτρονικό πορτοφόλι" },
    { 15, "capping-epurse", "Daily cap reached", "Ημερήσιο πλαφόν" },
    { 16, "capping-journeys", "Weekly cap reached", "Εβδομαδιαίο πλαφόν" },
};

QJsonObject ticketBody(const Product& product, bool accepted, const QString& locale)
{
    QJsonObject t { { QStringLiteral("result"), accepted }, { QStringLiteral("type"), product.type },
        { QStringLiteral("ticketId"), QStringLiteral("T-%1-0042").arg(product.type) },
        { QStringLiteral("fareProductName"),
            greek(locale) ? QString::fromUtf8(product.greek) : QString::fromUtf8(product.english) },
        { QStringLiteral("passengerTypeName"), greek(locale) ? QStringLiteral("Ενήλικας") : QStringLiteral("Adult") } };
    switch (product.type) {
    case 0:
        t.insert(QStringLiteral("barcode"),
            QJsonObject { { QStringLiteral("fromStopGroupName"),
                              greek(locale) ? QStringLiteral("Σύνταγμα") : QStringLiteral("Syntagma") },
                { QStringLiteral("toStopGroupName"),
                    greek(locale) ? QStringLiteral("Πανεπιστήμιο") : QStringLiteral("University") },
                { QStringLiteral("transferRemainingMin"), 87 } });
        break;
    case 2:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 1850 }, { QStringLiteral("balanceAfter"), 1730 } });
        break;
    case 15:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 1200 }, { QStringLiteral("balanceAfter"), 1200 } });
        break;
    case 5:
    case 12:
    case 16:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 0 }, { QStringLiteral("balanceAfter"), 0 },
                { QStringLiteral("storedJourneys"),
                    QJsonObject { { QStringLiteral("activationTimestamp"), utcStamp(-3 * 60) },
                        { QStringLiteral("after"), product.type == 16 ? 3 : 7 },
                        { QStringLiteral("transferRemainingMin"), product.type == 12 ? 45 : 90 } } } });
        break;
    case 8:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("periodPass"),
                QJsonObject { { QStringLiteral("remainingMinutes"), QJsonValue::Null },
                    { QStringLiteral("remainingDays"), 23 },
                    { QStringLiteral("activationTimestamp"), utcStamp(-7 * 86400) } } } });
        break;
    case 14:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 940 }, { QStringLiteral("balanceAfter"), 940 },
                { QStringLiteral("ePurse"), QJsonObject { { QStringLiteral("transferRemainingMin"), 45 } } } });
        break;
    default:
        t.insert(QStringLiteral("card"), QJsonObject());
        break;
    }
    return t;
}

} // namespace

QString SampleValidation::topic(const QString& base) const
{
    return base + (barcode ? QStringLiteral("/barcode/scanned") : QStringLiteral("/rfid/scanned"));
}

QByteArray SampleValidation::message() const
{
    return QJsonDocument(QJsonObject { { QStringLiteral("transaction"), transaction } }).toJson(QJsonDocument::Compact);
}

namespace samples {

namespace {

struct Refusal
{
    int product; // index into kProducts
    int reason;
    const char* name;
};

const Refusal kRefusals[] = {
    { 0, 101, "ticket-expired" },
    { 0, 102, "ticket-wrong-route" },
    { 1, 205, "no-balance" },
    { 2, 204, "no-trips" },
    { 3, 208, "card-not-active" },
    { 3, 250, "card-blocked" },
    { 2, 209, "other-operator" },
    { 1, 999, "unknown" },
};

SampleValidation accepted(const Product& p, const QString& locale)
{
    return SampleValidation { QStringLiteral("valid-%1-%2").arg(p.type).arg(QLatin1String(p.name)),
        QStringLiteral("Valid"), p.type == 0, ticketBody(p, true, locale) };
}

SampleValidation refusedAs(
    const Product& p, int reason, const QString& name, const QString& screen, const QString& locale)
{
    QJsonObject t = ticketBody(p, false, locale);
    t.insert(QStringLiteral("denyReason"), QJsonObject { { QStringLiteral("id"), reason } });
    return SampleValidation { name, screen, p.type == 0, t };
}

SampleValidation refusal(const Refusal& r, const QString& locale)
{
    return refusedAs(kProducts[r.product], r.reason,
        QStringLiteral("invalid-%1-%2").arg(r.reason).arg(QLatin1String(r.name)), QStringLiteral("Invalid"), locale);
}

} // namespace

QList<SampleValidation> valid(const QString& locale)
{
    QList<SampleValidation> list;
    for (const Product& p : kProducts)
        list << accepted(p, locale);
    return list;
}

QList<SampleValidation> alreadyValid(const QString& locale)
{
    QList<SampleValidation> list;
    for (const Product& p : kProducts)
        list << refusedAs(p, p.type == 0 ? 103 : 207,
            QStringLiteral("alreadyvalid-%1-%2").arg(p.type).arg(QLatin1String(p.name)), QStringLiteral("AlreadyValid"),
            locale);
    return list;
}

QList<SampleValidation> refused(const QString& locale)
{
    QList<SampleValidation> list;
    for (const Refusal& r : kRefusals)
        list << refusal(r, locale);
    return list;
}

QList<SampleValidation> inTurn(const QString& locale)
{
    QList<SampleValidation> list;
    const QList<SampleValidation> already = alreadyValid(locale);
    for (int i = 0; i < already.size(); ++i)
        list << accepted(kProducts[i], locale) << already.at(i);
    for (const Refusal& r : kRefusals)
        list << accepted(kProducts[r.product], locale) << refusal(r, locale);
    return list;
}

} // namespace samples
