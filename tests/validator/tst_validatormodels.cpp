#include "SAM.h"
#include "ValidatorBarcode.h"
#include "ValidatorConfig.h"
#include "ValidatorRfid.h"

#include <QJsonDocument>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

QJsonObject json(const char* text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", text);
    return doc.object();
}

void flushDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace

class TestValidatorModels : public QObject
{
    Q_OBJECT
private slots:
    void configSettersEmitOnlyOnChange()
    {
        ValidatorConfig config;
        QSignalSpy url(&config, &ValidatorConfig::obuUrlChanged);
        QSignalSpy secs(&config, &ValidatorConfig::passbackSecsChanged);
        QSignalSpy qr(&config, &ValidatorConfig::passbackQrEnabledChanged);
        config.setObuUrl(QUrl());
        config.setPassbackSecs(0);
        config.setPassbackQrEnabled(false);
        QCOMPARE(url.size() + secs.size() + qr.size(), 0);

        config.setObuUrl(QUrl(QStringLiteral("mqtt://a:b@host:1883")));
        config.setObuUrl(QUrl(QStringLiteral("mqtt://a:b@host:1883")));
        config.setPassbackSecs(30);
        config.setPassbackSecs(30);
        config.setPassbackQrEnabled(true);
        config.setPassbackQrEnabled(true);
        QCOMPARE(url.size(), 1);
        QCOMPARE(secs.size(), 1);
        QCOMPARE(qr.size(), 1);
        QCOMPARE(config.passbackSecs(), 30);
        QVERIFY(config.passbackQrEnabled());
    }

    void barcodeAppliesOnlyPresentKeys()
    {
        ValidatorBarcode barcode;
        barcode.fromJson(json(R"({"active": true, "enabled": true, "firmware": "1.2", "manufacturer": "M",
                                  "model": "X"})"));
        QVERIFY(barcode.active());
        QVERIFY(barcode.enabled());
        QCOMPARE(barcode.firmware(), QStringLiteral("1.2"));
        QCOMPARE(barcode.manufacturer(), QStringLiteral("M"));
        QCOMPARE(barcode.model(), QStringLiteral("X"));

        QSignalSpy any(&barcode, &ValidatorBarcode::activeChanged);
        QSignalSpy enabled(&barcode, &ValidatorBarcode::enabledChanged);
        QSignalSpy firmware(&barcode, &ValidatorBarcode::firmwareChanged);
        QVERIFY(barcode.fromJson(QJsonObject()) == &barcode);
        QCOMPARE(any.size() + enabled.size() + firmware.size(), 0);
        QVERIFY(barcode.active());
        QCOMPARE(barcode.firmware(), QStringLiteral("1.2"));

        // Present but mistyped: the key counts, its value reads as false / empty.
        barcode.fromJson(json(R"({"enabled": "yes", "firmware": 7})"));
        QVERIFY(!barcode.enabled());
        QCOMPARE(barcode.firmware(), QString());
        QCOMPARE(enabled.size(), 1);
        QCOMPARE(firmware.size(), 1);
        QVERIFY(barcode.active());
        QCOMPARE(barcode.version(), QString());
    }

    void rfidStateTable_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("0") << QByteArray(R"({"state": 0})") << "Init" << false;
        QTest::newRow("1") << QByteArray(R"({"state": 1})") << "Idle" << false;
        QTest::newRow("2") << QByteArray(R"({"state": 2})") << "Searching" << true;
        QTest::newRow("3") << QByteArray(R"({"state": 3})") << "CardFound" << true;
        QTest::newRow("4") << QByteArray(R"({"state": 4})") << "Updating" << false;
        QTest::newRow("5") << QByteArray(R"({"state": 5})") << "Error" << false;
        QTest::newRow("9") << QByteArray(R"({"state": 9})") << "Unknown" << false;
        QTest::newRow("negative") << QByteArray(R"({"state": -1})") << "Unknown" << false;
        QTest::newRow("fraction") << QByteArray(R"({"state": 2.5})") << "Init" << false;
        QTest::newRow("text") << QByteArray(R"({"state": "2"})") << "Init" << false;
        QTest::newRow("huge") << QByteArray(R"({"state": 1e300})") << "Init" << false;
        QTest::newRow("null") << QByteArray(R"({"state": null})") << "Init" << false;
    }
    void rfidStateTable()
    {
        QFETCH(QByteArray, status);
        QFETCH(QString, state);
        QFETCH(bool, enabled);
        ValidatorRfid rfid;
        rfid.fromJson(QJsonDocument::fromJson(status).object());
        QCOMPARE(rfid.state(), state);
        QCOMPARE(rfid.enabled(), enabled);
    }

    void rfidStateChangeAlwaysAnnouncesEnabled()
    {
        ValidatorRfid rfid;
        QSignalSpy state(&rfid, &ValidatorRfid::stateChanged);
        QSignalSpy enabled(&rfid, &ValidatorRfid::enabledChanged);
        rfid.fromJson(json(R"({"state": 3})"));
        QCOMPARE(state.size(), 1);
        QCOMPARE(enabled.size(), 1);
        QVERIFY(rfid.enabled());
        rfid.fromJson(json(R"({"state": 2})"));
        QCOMPARE(state.size(), 2);
        QCOMPARE(enabled.size(), 2);
        QVERIFY(rfid.enabled());
        rfid.fromJson(json(R"({"state": 2})"));
        QCOMPARE(state.size(), 2);
        QCOMPARE(enabled.size(), 2);
        rfid.fromJson(json(R"({"state": 9})"));
        QCOMPARE(rfid.state(), QStringLiteral("Unknown"));
        QVERIFY(!rfid.enabled());
    }

    void rfidInfoClearsMissingKeysAndNeedsFirmware()
    {
        ValidatorRfid rfid;
        rfid.fromJson(json(R"({"firmware": "f1", "model": "m", "manufacturer": "x", "uid": "u"})"));
        QCOMPARE(rfid.model(), QStringLiteral("m"));
        QCOMPARE(rfid.deviceUid(), QStringLiteral("u"));

        // Without "firmware" the object is no info report.
        rfid.fromJson(json(R"({"model": "other"})"));
        QCOMPARE(rfid.model(), QStringLiteral("m"));

        QSignalSpy model(&rfid, &ValidatorRfid::modelChanged);
        QSignalSpy firmware(&rfid, &ValidatorRfid::firmwareChanged);
        rfid.fromJson(json(R"({"firmware": "f1"})"));
        QCOMPARE(firmware.size(), 0);
        QCOMPARE(model.size(), 1);
        QCOMPARE(rfid.model(), QString());
        QCOMPARE(rfid.manufacturer(), QString());
        QCOMPARE(rfid.deviceUid(), QString());
        QCOMPARE(rfid.state(), QString()); // no "state": status untouched
    }

    void rfidStatusReadsEveryMember()
    {
        ValidatorRfid rfid;
        rfid.fromJson(json(R"({"state": 1, "active": true, "error": "E1", "slots": [true, false, 1, "x", true]})"));
        QVERIFY(rfid.active());
        QCOMPARE(rfid.error(), QStringLiteral("E1"));
        QCOMPARE(rfid.numberOfSlots(), 5);
        QCOMPARE(rfid.slotList(), (QList<bool> { true, false, false, false, true }));

        QSignalSpy slotSpy(&rfid, &ValidatorRfid::numberOfSlotsChanged);
        QSignalSpy active(&rfid, &ValidatorRfid::activeChanged);
        QSignalSpy error(&rfid, &ValidatorRfid::errorChanged);
        rfid.fromJson(json(R"({"state": 1, "slots": {"a": true}})"));
        QVERIFY(!rfid.active());
        QCOMPARE(rfid.error(), QString());
        QCOMPARE(rfid.numberOfSlots(), 0);
        QCOMPARE(active.size(), 1);
        QCOMPARE(error.size(), 1);
        QCOMPARE(slotSpy.size(), 1);
    }

    void samsReplacedAndDeletedLater()
    {
        ValidatorRfid rfid;
        QSignalSpy changed(&rfid, &ValidatorRfid::samChanged);
        rfid.fromJson(json(R"({"state": 1, "sams": [{"slot": 1, "name": "first"}, {"slot": 2, "name": "second"}]})"));
        QCOMPARE(changed.size(), 1);
        QPointer<SAM> first = rfid.sam();
        QVERIFY(first);
        QCOMPARE(first->name(), QStringLiteral("first"));
        QCOMPARE(first->slot(), 1);
        QCOMPARE(first->parent(), &rfid);

        // A status without "sams" empties the list; the old SAM must survive the
        // current call chain (someone may be reading it) and go afterwards.
        rfid.fromJson(json(R"({"state": 1})"));
        QCOMPARE(changed.size(), 2);
        QVERIFY(rfid.sam() == nullptr);
        QVERIFY(first);
        QCOMPARE(first->name(), QStringLiteral("first"));
        flushDeferredDeletes();
        QVERIFY(!first);
        QCOMPARE(rfid.findChildren<SAM*>().size(), 0);

        rfid.fromJson(json(R"({"state": 1, "sams": []})"));
        QCOMPARE(changed.size(), 3);
        QVERIFY(rfid.sam() == nullptr);

        // The same SAMs again still rebuild the list and announce it.
        rfid.fromJson(json(R"({"state": 1, "sams": [{"slot": 1}, 5]})"));
        rfid.fromJson(json(R"({"state": 1, "sams": [{"slot": 1}, 5]})"));
        QCOMPARE(changed.size(), 5);
        flushDeferredDeletes();
        QCOMPARE(rfid.findChildren<SAM*>().size(), 2);
        QCOMPARE(rfid.sam()->slot(), 1);
    }

    void samReadsEveryKey()
    {
        SAM sam(json(R"({"slot": 3, "enabled": true, "unlocked": true, "atr": "3B", "batch": "B7", "mode": "M",
                         "name": "N", "production": "2023-11-05", "uid": "U", "vendor": "V", "version": "2.1"})"));
        QCOMPARE(sam.slot(), 3);
        QVERIFY(sam.enabled());
        QVERIFY(sam.unlocked());
        QCOMPARE(sam.atr(), QStringLiteral("3B"));
        QCOMPARE(sam.batch(), QStringLiteral("B7"));
        QCOMPARE(sam.mode(), QStringLiteral("M"));
        QCOMPARE(sam.name(), QStringLiteral("N"));
        QCOMPARE(sam.production(), QDate(2023, 11, 5));
        QCOMPARE(sam.uid(), QStringLiteral("U"));
        QCOMPARE(sam.vendor(), QStringLiteral("V"));
        QCOMPARE(sam.version(), QStringLiteral("2.1"));

        // Every key is read every time: missing or mistyped keys reset.
        QSignalSpy slot(&sam, &SAM::slotChanged);
        QSignalSpy production(&sam, &SAM::productionChanged);
        QSignalSpy vendor(&sam, &SAM::vendorChanged);
        sam.fromJson(json(R"({"slot": "3", "vendor": 12, "production": 20231105})"));
        QCOMPARE(sam.slot(), 0);
        QVERIFY(!sam.enabled());
        QCOMPARE(sam.vendor(), QString());
        QVERIFY(!sam.production().isValid());
        QCOMPARE(slot.size(), 1);
        QCOMPARE(vendor.size(), 1);
        QCOMPARE(production.size(), 1);
    }

    void samProductionInvalidDatesCompareEqual_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::newRow("no such day") << QByteArray(R"({"production": "2024-02-30"})");
        QTest::newRow("missing") << QByteArray("{}");
        QTest::newRow("other format") << QByteArray(R"({"production": "05/11/2023"})");
    }
    void samProductionInvalidDatesCompareEqual()
    {
        QFETCH(QByteArray, object);
        SAM sam(json(R"({"production": "2024-02-29"})"));
        QCOMPARE(sam.production(), QDate(2024, 2, 29));
        QSignalSpy production(&sam, &SAM::productionChanged);
        sam.fromJson(QJsonDocument::fromJson(object).object());
        sam.fromJson(QJsonDocument::fromJson(object).object());
        QVERIFY(!sam.production().isValid());
        QCOMPARE(production.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestValidatorModels)
#include "tst_validatormodels.moc"
