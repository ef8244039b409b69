#include "Clock.h"
#include "Config.h"
#include "FakeTransport.h"
#include "FareCurrency.h"
#include "SettingsKeys.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The money sign follows where the unit runs, never the language shown.
class TestFareCurrency : public QObject
{
    Q_OBJECT

private slots:
    void symbolFor_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("English on a Greek unit") << "Europe/Athens" << "en_US" << "€";
        QTest::newRow("Greek on a Greek unit") << "Europe/Athens" << "el_GR" << "€";
        QTest::newRow("Greek in New York") << "America/New_York" << "el_GR" << "$";
        QTest::newRow("English in London") << "Europe/London" << "en_IE" << "£";
        QTest::newRow("no country: the home locale") << "UTC" << "en_US" << "$";
        QTest::newRow("no zone known") << "" << "el_GR" << "€";
        QTest::newRow("a zone that does not exist") << "Mars/Olympus" << "en_US" << "$";
    }
    void symbolFor()
    {
        QFETCH(QString, zone);
        QFETCH(QString, home);
        QFETCH(QString, symbol);
        QCOMPARE(FareCurrency::symbolFor(zone, home), symbol);
    }

    // The zone is asked once, and again only when a technician sets another one.
    void followsTheClocksZone()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString zoneFile = dir.filePath(QStringLiteral("zone"));
        const auto writeFile = [](const QString& path, const QByteArray& text) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text);
        };
        writeFile(zoneFile, "Europe/Athens");
        // status prints the zone kept in the file; set-timezone replaces it.
        writeFile(dir.filePath(QStringLiteral("timedatectl")),
            "#!/bin/sh\nhere=$(dirname \"$0\")\necho \"$1\" >> \"$here/calls\"\n"
            "case \"$1\" in\n  status) echo \"                Time zone: $(cat \"$here/zone\") (X, +0000)\" ;;\n"
            "  set-timezone) printf '%s' \"$2\" > \"$here/zone\" ;;\nesac\n");
        QFile::setPermissions(dir.filePath(QStringLiteral("timedatectl")), QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()) + ':' + oldPath);

        Config config(dir.filePath(QStringLiteral("gui.conf")),
            QVariantMap { { manager::keys::Locale, QStringLiteral("en_US") } });
        FakeMqtt m(false);
        manager::Clock clock(m.client, QStringLiteral("vexa/device"));
        FareCurrency currency(clock, config);
        QSignalSpy changed(&currency, &FareCurrency::symbolChanged);
        QCOMPARE(currency.symbol(), QStringLiteral("€"));
        QCOMPARE(currency.symbol(), QStringLiteral("€"));

        // A language switch is no reason to ask the clock again.
        config.set(manager::keys::Locale, QStringLiteral("el_GR"));
        QCOMPARE(changed.count(), 0);

        clock.setTimezone(QStringLiteral("America/New_York"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(currency.symbol(), QStringLiteral("$"));
        QFile calls(dir.filePath(QStringLiteral("calls")));
        QVERIFY(calls.open(QIODevice::ReadOnly));
        // One read for the first symbol, one by the setter, one after the change.
        QCOMPARE(calls.readAll().count("status"), 3);
        qputenv("PATH", oldPath);
    }
};

QTEST_GUILESS_MAIN(TestFareCurrency)
#include "tst_farecurrency.moc"
