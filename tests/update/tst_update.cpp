#include "FakeTransport.h"
#include "Update.h"

#include <QSignalSpy>
#include <QtTest>

using manager::Update;

namespace {

const QString B = QStringLiteral("vexa/device");

const QByteArray PendingStatus = R"({"update": {"software": {"current": "1.0.20", "pending": "1.0.21"}}})";

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT
private slots:
    void subscriptionsAndConnectionState()
    {
        FakeMqtt m(false);
        m.client.setRetryMillis(50);
        Update update(m.client, B);
        QCOMPARE(update.status(), QString("Disconnected"));
        m.client.connect();
        QCOMPARE(m.transport->subscriptions,
            (QStringList { B + "/status", B + "/update/software/status", B + "/update/software/progress",
                B + "/update/software/progess" }));
        QCOMPARE(m.transport->payloadsOn(B + "/status/get"), (QList<QByteArray> { QByteArray() }));

        m.transport->inject(B + "/status", PendingStatus);
        QCOMPARE(update.status(), QString("Ready to install"));
        m.transport->drop();
        QCOMPARE(update.status(), QString("Disconnected"));
        QTRY_COMPARE_WITH_TIMEOUT(m.transport->payloadsOn(B + "/status/get").size(), 2, 10000);
    }

    void deviceStatusRule()
    {
        FakeMqtt m;
        Update update(m.client, B);
        QSignalSpy pending(&update, &Update::pendingChanged);

        m.transport->inject(B + "/status", PendingStatus);
        QCOMPARE(update.current(), QString("1.0.20"));
        QCOMPARE(update.pending(), QString("1.0.21"));
        QCOMPARE(update.status(), QString("Ready to install"));
        QCOMPARE(update.progressMessage(), QString("Idle"));
        QCOMPARE(update.progressPercent(), 0);

        // A plain string names only the installed version; the old pending one stands.
        m.transport->inject(B + "/status", R"({"update": {"software": "1.0.22"}})");
        QCOMPARE(update.current(), QString("1.0.22"));
        QCOMPARE(update.pending(), QString("1.0.21"));
        QCOMPARE(update.status(), QString("Ready to install"));
        QCOMPARE(pending.count(), 1);

        m.transport->inject(B + "/status", "");
        QCOMPARE(update.status(), QString("Ready to install"));
        m.transport->inject(B + "/status", R"({"update": {"software": {"current": "1.0.22"}}})");
        QCOMPARE(update.pending(), QString());
        QCOMPARE(update.status(), QString("No pending updates"));

        // The version topic changes versions, never the status.
        m.transport->inject(B + "/update/software/status", R"({"current": "1.0.22", "pending": "1.1.0"})");
        QCOMPARE(update.pending(), QString("1.1.0"));
        QCOMPARE(update.status(), QString("No pending updates"));
    }

    void progressOnBothTopics_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("progress") << "/update/software/progress";
        QTest::newRow("progess") << "/update/software/progess";
    }
    void progressOnBothTopics()
    {
        QFETCH(QString, suffix);
        FakeMqtt m;
        Update update(m.client, B);
        update.setCheckTimeout(60000);
        update.check();
        QVERIFY(update.findChild<QTimer*>()->isActive());

        m.transport->inject(B + suffix, R"({"message": "12/40", "progress": 30, "version": "1.0.21"})");
        QCOMPARE(update.status(), QString("Downloading"));
        QCOMPARE(update.progressMessage(), QString("12/40"));
        QCOMPARE(update.progressPercent(), 30);
        QCOMPARE(update.pending(), QString("1.0.21"));
        QVERIFY(!update.findChild<QTimer*>()->isActive());

        m.transport->inject(B + suffix, R"({"message": "Verifying image", "progress": 90, "version": "1.0.21"})");
        QCOMPARE(update.status(), QString("Installing"));
        QCOMPARE(update.progressPercent(), 90);

        m.transport->inject(B + "/status", R"({"update": {"software": {"current": "1.0.21"}}})");
        QCOMPARE(update.status(), QString("No pending updates"));
        QCOMPARE(update.progressMessage(), QString("Idle"));
        QCOMPARE(update.progressPercent(), 0);
    }

    void checkTimesOut()
    {
        FakeMqtt m;
        Update update(m.client, B);
        m.transport->inject(B + "/update/software/status", R"({"current": "1.0.20", "pending": "1.0.21"})");
        update.setCheckTimeout(50);
        QSignalSpy status(&update, &Update::statusChanged);

        QTest::ignoreMessage(QtInfoMsg, "[Update] Checking for updates");
        update.check();
        QCOMPARE(update.status(), QString("Checking for updates"));
        QCOMPARE(m.transport->payloadsOn(B + "/software/check"), (QList<QByteArray> { QByteArray() }));

        QTest::ignoreMessage(QtInfoMsg, "[Update] No pedning updates");
        QTRY_COMPARE_WITH_TIMEOUT(update.status(), QString("Ready to install"), 10000);
        QCOMPARE(status.count(), 2);

        m.transport->inject(B + "/update/software/status", R"({"current": "1.0.21"})");
        update.check();
        QTRY_COMPARE_WITH_TIMEOUT(update.status(), QString("No pending updates"), 10000);
    }

    void disconnectionEndsAPendingCheck()
    {
        FakeMqtt m;
        Update update(m.client, B);
        update.setCheckTimeout(60000);
        update.check();
        m.transport->drop();
        QCOMPARE(update.status(), QString("Disconnected"));
        QVERIFY(!update.findChild<QTimer*>()->isActive());
    }

    void install()
    {
        FakeMqtt m;
        Update update(m.client, B);
        m.transport->inject(B + "/status", R"({"update": {"software": "1.0.20"}})");
        QTest::ignoreMessage(QtWarningMsg, "[Update] WARN: Cannot install. There are no pending versions");
        update.install();
        QVERIFY(m.transport->payloadsOn(B + "/update/software/install").isEmpty());

        m.transport->inject(B + "/status", PendingStatus);
        QTest::ignoreMessage(QtInfoMsg, "[Update] Installing pending update : 1.0.21");
        update.install();
        QCOMPARE(m.transport->payloadsOn(B + "/update/software/install"), (QList<QByteArray> { QByteArray() }));
        QCOMPARE(update.status(), QString("Ready to install"));
    }

    void badInput()
    {
        FakeMqtt m;
        Update update(m.client, B);
        m.transport->inject(B + "/status", PendingStatus);
        QSignalSpy status(&update, &Update::statusChanged);

        QJsonObject unused;
        QString parserText;
        QVERIFY(!manager::ServiceClient::parseObject("{\"update\": {", unused, &parserText));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable("[Update] Failed to parse JSON message: " + parserText));
        m.transport->inject(B + "/status", "{\"update\": {");
        QCOMPARE(update.pending(), QString("1.0.21"));
        QCOMPARE(status.count(), 0);

        // Wrong types read as empty or 0; software of another type changes no version.
        m.transport->inject(B + "/status", R"({"update": {"software": 7}})");
        QCOMPARE(update.current(), QString("1.0.20"));
        QCOMPARE(update.pending(), QString("1.0.21"));
        m.transport->inject(B + "/update/software/progress", R"({"message": 5, "progress": "40", "version": []})");
        QCOMPARE(update.progressMessage(), QString());
        QCOMPARE(update.progressPercent(), 0);
        QCOMPARE(update.pending(), QString());
        QCOMPARE(update.status(), QString("Installing"));

        // Other topics under the base are not update messages.
        m.transport->inject(B + "/clock/ntp/status", R"({"update": {"software": {"pending": "9"}}})");
        m.transport->inject(B + "/update/software/install", PendingStatus);
        QCOMPARE(update.pending(), QString());
    }
};

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
