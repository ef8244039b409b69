#include "Transaction.h"

#include <QJsonDocument>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTranslator>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

QJsonObject json(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", text.constData());
    return doc.object();
}

QVariantMap detailsOf(const QByteArray& text) { return Transaction(json(text)).details(); }

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

const QStringList DetailKeys { QStringLiteral("activationTimestamp"), QStringLiteral("deducted"),
    QStringLiteral("expires"), QStringLiteral("fromStopGroupName"), QStringLiteral("remaining"),
    QStringLiteral("toStopGroupName"), QStringLiteral("transferRemainingMin") };

// Stands in for the Greek catalogue: answers only for the record's context.
class ContextTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char* = nullptr, int = -1) const override
    {
        if (qstrcmp(context, "Transaction") == 0)
            return QStringLiteral("GR:") + QString::fromUtf8(sourceText);
        return QString();
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestTransaction : public QObject
{
    Q_OBJECT
private slots:
    void usableFromQml()
    {
        qRegisterMetaType<Transaction*>();
        qmlRegisterType<Transaction>("com.vexa.ticketing.transaction", 1, 0, "Transaction");
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.15\nimport com.vexa.ticketing.transaction 1.0\n"
                          "Transaction { property int emv: Transaction.CardEMV\n"
                          "              property string text: denyReason }",
            QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QVERIFY(qobject_cast<Transaction*>(object.get()));
        QCOMPARE(object->property("emv").toInt(), 10);
        QCOMPARE(object->property("text").toString(), QStringLiteral("Unknown Error"));
        QCOMPARE(object->property("details").toMap().size(), 7);
    }

    void emptyRecord()
    {
        const Transaction t;
        QVERIFY(!t.valid());
        QCOMPARE(int(t.type()), 0);
        QCOMPARE(t.denyReasonId(), 0);
        QCOMPARE(t.denyReason(), QStringLiteral("Unknown Error"));
        QCOMPARE(t.ticketId(), QString());
        QVERIFY(t.ticket().isEmpty());
        const QVariantMap map = t.toMap();
        QCOMPARE(map.keys(),
            (QStringList { "denyReason", "denyReasonId", "details", "fareProduct", "passengeType", "type", "valid" }));
        QVERIFY(!map.contains(QStringLiteral("passengerType")));
        QCOMPARE(map.value(QStringLiteral("denyReason")).toString(), QStringLiteral("Unknown Error"));
    }

    void fieldsAndFieldMap()
    {
        const Transaction t(json(R"({"result": true, "type": 8, "denyReason": {"id": 103, "text": "x"},
            "ticketId": "T-9", "fareProductName": "Monthly", "passengerTypeName": "Student"})"));
        QVERIFY(t.valid());
        QCOMPARE(t.type(), Transaction::CardPeriodPass);
        QCOMPARE(t.ticketId(), QStringLiteral("T-9"));
        const QVariantMap map = t.toMap();
        QCOMPARE(map.value(QStringLiteral("valid")), QVariant(true));
        QCOMPARE(map.value(QStringLiteral("type")), QVariant(8));
        QCOMPARE(map.value(QStringLiteral("denyReasonId")), QVariant(103));
        QCOMPARE(map.value(QStringLiteral("denyReason")).toString(),
            QStringLiteral("The ticket has already been validated"));
        QCOMPARE(map.value(QStringLiteral("fareProduct")).toString(), QStringLiteral("Monthly"));
        QCOMPARE(map.value(QStringLiteral("passengeType")).toString(), QStringLiteral("Student"));
        QCOMPARE(map.value(QStringLiteral("details")).toMap().keys(), DetailKeys);
    }

    void mistypedMembersAndUnknownTypes()
    {
        const Transaction t(json(R"({"result": "true", "type": "2", "denyReason": 205, "ticketId": 5,
            "fareProductName": [], "passengerTypeName": {}, "card": "x", "barcode": 1})"));
        QVERIFY(!t.valid());
        QCOMPARE(int(t.type()), 0);
        QCOMPARE(t.denyReasonId(), 0);
        QCOMPARE(t.ticketId(), QString());
        QCOMPARE(t.fareProduct(), QString());
        QCOMPARE(t.passengerType(), QString());
        QCOMPARE(t.details().value(QStringLiteral("fromStopGroupName")).toString(), QString());
        // A type outside the list is handed on as its number.
        QCOMPARE(int(Transaction(json(R"({"type": 99})")).type()), 99);
        QCOMPARE(int(Transaction(json(R"({"type": -3})")).type()), -3);
        QCOMPARE(int(Transaction(json(R"({"type": 1e300})")).type()), 0);
    }

    void refusalTexts_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("100") << 100 << "The ticket is invalid";
        QTest::newRow("103") << 103 << "The ticket has already been validated";
        QTest::newRow("110") << 110 << "The ticket has invalid timestamp";
        QTest::newRow("111") << 111 << "Unknown Error";
        QTest::newRow("203") << 203 << "The card has already been validated";
        QTest::newRow("207") << 207 << "The card has already been validated";
        QTest::newRow("209") << 209 << "The card does not belong to this operator";
        QTest::newRow("249") << 249 << "Unknown Error";
        for (int id = 250; id <= 255; ++id)
            QTest::newRow(qPrintable(QString::number(id))) << id << "The card is blocked";
        QTest::newRow("256") << 256 << "Unknown Error";
        QTest::newRow("300") << 300 << "The product is blocked";
        QTest::newRow("301") << 301 << "The product is not yet active";
        QTest::newRow("500") << 500 << "Internal Error";
        QTest::newRow("0") << 0 << "Unknown Error";
        QTest::newRow("-100") << -100 << "Unknown Error";
    }
    void refusalTexts()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        const Transaction t(QJsonObject { { "denyReason", QJsonObject { { "id", id } } } });
        QCOMPARE(t.denyReasonId(), id);
        QCOMPARE(t.denyReason(), text);
    }

    void refusalTextsFollowTheLanguage()
    {
        const Transaction t(json(R"({"denyReason": {"id": 252}})"));
        ContextTranslator greek;
        QVERIFY(QCoreApplication::installTranslator(&greek));
        const QString translated = t.denyReason();
        const QString unknown = Transaction().denyReason();
        QCoreApplication::removeTranslator(&greek);
        QCOMPARE(translated, QStringLiteral("GR:The card is blocked"));
        QCOMPARE(unknown, QStringLiteral("GR:Unknown Error"));
        // The same record reads the source text again once the catalogue is gone.
        QCOMPARE(t.denyReason(), QStringLiteral("The card is blocked"));
    }

    void detailsDefaults_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::newRow("EMV") << QByteArray(R"({"type": 10, "card": {"balanceAfter": 100}})");
        QTest::newRow("passenger type update") << QByteArray(R"({"type": 13})");
        QTest::newRow("outside the list") << QByteArray(R"({"type": 77, "barcode": {"fromStopGroupName": "A"}})");
    }
    void detailsDefaults()
    {
        QFETCH(QByteArray, object);
        const QVariantMap d = detailsOf(object);
        QCOMPARE(d.keys(), DetailKeys);
        QCOMPARE(d.value(QStringLiteral("fromStopGroupName")), QVariant(QString()));
        QCOMPARE(d.value(QStringLiteral("toStopGroupName")), QVariant(QString()));
        QCOMPARE(d.value(QStringLiteral("deducted")), QVariant(0.0));
        QCOMPARE(d.value(QStringLiteral("remaining")), QVariant(0.0));
        QCOMPARE(d.value(QStringLiteral("activationTimestamp")), QVariant(QDateTime()));
        QCOMPARE(d.value(QStringLiteral("expires")), QVariant(QDateTime()));
        QCOMPARE(d.value(QStringLiteral("transferRemainingMin")), QVariant(0));
    }

    void detailsBarcode()
    {
        const QVariantMap d = detailsOf(R"({"type": 0, "barcode": {"fromStopGroupName": "Port",
            "toStopGroupName": "Airport", "transferRemainingMin": 45}, "card": {"balanceAfter": 500}})");
        QCOMPARE(d.keys(), DetailKeys);
        QCOMPARE(d.value(QStringLiteral("fromStopGroupName")), QVariant(QStringLiteral("Port")));
        QCOMPARE(d.value(QStringLiteral("toStopGroupName")), QVariant(QStringLiteral("Airport")));
        QCOMPARE(d.value(QStringLiteral("transferRemainingMin")), QVariant(45));
        QCOMPARE(d.value(QStringLiteral("remaining")), QVariant(0.0));
    }

    void detailsEPurse_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::addColumn<double>("deducted");
        QTest::addColumn<double>("remaining");
        QTest::newRow("e-purse") << 2 << 1250 << 1000 << 2.5 << 10.0;
        QTest::newRow("capping e-purse") << 15 << 1250 << 1000 << 2.5 << 10.0;
        // The difference of the extremes does not fit an int.
        QTest::newRow("extreme balances") << 2 << 2147483647 << -2147483647 - 1 << 42949672.95 << -21474836.48;
    }
    void detailsEPurse()
    {
        QFETCH(int, type);
        QFETCH(int, before);
        QFETCH(int, after);
        QFETCH(double, deducted);
        QFETCH(double, remaining);
        const QJsonObject card { { "balanceBefore", before }, { "balanceAfter", after } };
        const QVariantMap d = Transaction(QJsonObject { { "type", type }, { "card", card } }).details();
        QCOMPARE(d.value(QStringLiteral("deducted")), QVariant(deducted));
        QCOMPARE(d.value(QStringLiteral("remaining")), QVariant(remaining));
        QCOMPARE(d.keys(), DetailKeys);
    }

    void detailsPeriodPass_data()
    {
        QTest::addColumn<QByteArray>("pass");
        QTest::addColumn<int>("minutes");
        QTest::newRow("minutes null, two days")
            << QByteArray(R"({"remainingMinutes": null, "remainingDays": 2})") << 2880;
        QTest::newRow("minutes absent") << QByteArray(R"({"remainingDays": 3})") << 4320;
        QTest::newRow("minutes win over days") << QByteArray(R"({"remainingMinutes": 90, "remainingDays": 7})") << 90;
        QTest::newRow("minutes not a number") << QByteArray(R"({"remainingMinutes": "90", "remainingDays": 7})") << 0;
        QTest::newRow("days beyond int minutes") << QByteArray(R"({"remainingDays": 2000000})") << 2147483647;
    }
    void detailsPeriodPass()
    {
        QFETCH(QByteArray, pass);
        QFETCH(int, minutes);
        QJsonObject periodPass = json(pass);
        periodPass.insert(QStringLiteral("activationTimestamp"), QStringLiteral("2024-03-01T10:00:00Z"));
        const QJsonObject object { { "type", 8 }, { "card", QJsonObject { { "periodPass", periodPass } } } };
        const QDateTime before = QDateTime::currentDateTime();
        const QVariantMap d = Transaction(object).details();
        const QDateTime after = QDateTime::currentDateTime();
        QCOMPARE(d.value(QStringLiteral("remaining")), QVariant(minutes));
        const QDateTime expires = d.value(QStringLiteral("expires")).toDateTime();
        QVERIFY(expires >= before.addSecs(qint64(minutes) * 60));
        QVERIFY(expires <= after.addSecs(qint64(minutes) * 60));
        QCOMPARE(d.value(QStringLiteral("activationTimestamp")).toDateTime(), utc(2024, 3, 1, 10, 0, 0));
        QCOMPARE(d.keys(), DetailKeys);
    }

    void detailsStoredJourneys_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("stored journeys") << 5;
        QTest::newRow("capping stored journeys") << 16;
        QTest::newRow("transfer") << 12;
    }
    void detailsStoredJourneys()
    {
        QFETCH(int, type);
        const QJsonObject journeys = json(R"({"activationTimestamp": "2024-05-06T07:08:09Z", "before": 9,
            "after": 8, "transferRemainingMin": 25})");
        const QVariantMap d
            = Transaction(QJsonObject { { "type", type }, { "card", QJsonObject { { "storedJourneys", journeys } } } })
                  .details();
        QCOMPARE(d.value(QStringLiteral("remaining")), QVariant(8));
        QCOMPARE(d.value(QStringLiteral("transferRemainingMin")), QVariant(25));
        QCOMPARE(d.value(QStringLiteral("activationTimestamp")).toDateTime(), utc(2024, 5, 6, 7, 8, 9));
        QCOMPARE(d.value(QStringLiteral("expires")), QVariant(QDateTime()));
        QCOMPARE(d.value(QStringLiteral("deducted")), QVariant(0.0));
    }

    void detailsTransferEPurse()
    {
        const QVariantMap d = detailsOf(R"({"type": 14, "card": {"balanceBefore": 900, "balanceAfter": 735,
            "ePurse": {"transferRemainingMin": 12}}})");
        QCOMPARE(d.value(QStringLiteral("deducted")), QVariant(0));
        QCOMPARE(d.value(QStringLiteral("remaining")), QVariant(7.35));
        QCOMPARE(d.value(QStringLiteral("transferRemainingMin")), QVariant(12));
    }

    void timestamps_data()
    {
        // The test runs on Athens time (see main): UTC+2 in early March, UTC+3 from its last Sunday.
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        QTest::addColumn<QString>("local");
        QTest::newRow("T and Z") << "2024-03-01T10:00:00Z" << utc(2024, 3, 1, 10, 0, 0) << "2024-03-01 12:00";
        // 03:30 does not exist on the local clock that day; as UTC it is a plain instant.
        QTest::newRow("local daylight-saving gap")
            << "2024-03-31T03:30:00Z" << utc(2024, 3, 31, 3, 30, 0) << "2024-03-31 06:30";
        QTest::newRow("blank for T") << "2024-03-01 10:00:00Z" << QDateTime() << "";
        QTest::newRow("no Z") << "2024-03-01T10:00:00" << QDateTime() << "";
        QTest::newRow("offset instead of Z") << "2024-03-01T10:00:00+02:00" << QDateTime() << "";
        QTest::newRow("no such day") << "2024-02-30T10:00:00Z" << QDateTime() << "";
        QTest::newRow("no such hour") << "2024-03-01T25:00:00Z" << QDateTime() << "";
        QTest::newRow("empty") << "" << QDateTime() << "";
    }
    void timestamps()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QFETCH(QString, local);
        const QJsonObject object { { "type", 5 },
            { "card", QJsonObject { { "storedJourneys", QJsonObject { { "activationTimestamp", text } } } } } };
        const QDateTime converted
            = Transaction(object).details().value(QStringLiteral("activationTimestamp")).toDateTime();
        QCOMPARE(converted.isValid(), expected.isValid());
        if (!expected.isValid())
            return;
        QCOMPARE(converted, expected);
        QCOMPARE(converted.timeSpec(), Qt::LocalTime);
        QCOMPARE(converted.toString(QStringLiteral("yyyy-MM-dd HH:mm")), local);
    }
};

int main(int argc, char** argv)
{
    // A zone with daylight saving and a non-zero offset, so UTC-to-local matters.
    qputenv("TZ", "Europe/Athens");
    tzset();
    QCoreApplication app(argc, argv);
    TestTransaction test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_transaction.moc"
