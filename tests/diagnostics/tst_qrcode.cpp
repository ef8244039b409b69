#include "LogCapture.h"
#include "QrCodeGenerator.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using Ecc = qrcodegen::QrCode::Ecc;

class TestQrCode : public QObject
{
    Q_OBJECT
private slots:
    void scansBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ecc");
        QTest::newRow("report summary") << QStringLiteral(
            "DEMO-0000001;2024-03-01 09:15;04A1B2C3D4E5F6;2.4.1;FW 1.0.7 (build 2291);3.1;1.0.21;;;OK;"
            "OK;OK;OK;OK;OK;ERROR;OK;OK;MISSING;OK;OK;OK;OK;OK;OK;OK;OK;OK;OK;OK;OK;OK;OK;OK;"
            "ERROR (Could not open)") << int(Ecc::MEDIUM);
        QTest::newRow("greek") << QStringLiteral("Δοκιμή συσκευής: Ακυρωτής εισιτηρίων ΟΚ") << int(Ecc::MEDIUM);
        QTest::newRow("long") << QString(600, QLatin1Char('k')) << int(Ecc::HIGH);
    }
    // Rendered and read back with a real scanner, as a phone would.
    void scansBack()
    {
        QFETCH(QString, text);
        QFETCH(int, ecc);
        QrCodeGenerator generator;
        const QString svg = generator.generateSvgQr(text, 1, Ecc(ecc));
        QCOMPARE(generator.generateSvgQr(text, 1, Ecc(ecc)), svg);
        QVERIFY(!svg.contains(QLatin1Char('\n')) && !svg.contains(QLatin1String("d=\" ")));
        if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
            QSKIP("zbarimg missing (scripts/install-deps.sh installs it)");
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("qr.svg")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(svg.toUtf8()) > 0);
        file.close();
        const QString png = dir.filePath(QStringLiteral("qr.png"));
        QCOMPARE(QProcess::execute("rsvg-convert", { "-w", "400", "-b", "white", file.fileName(), "-o", png }), 0);
        QProcess scan;
        scan.start(QStringLiteral("zbarimg"), { "--nodbus", "--quiet", "--raw", png });
        QVERIFY(scan.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(scan.readAllStandardOutput()), text + '\n');
    }
    void emptyAndTooLong()
    {
        LogCapture log(QStringLiteral("[QrCodeGenerator] "));
        QrCodeGenerator generator;
        QVERIFY(generator.generateSvgQr(QString(), 1, Ecc::MEDIUM).contains(QLatin1String("viewBox=\"0 0 23 23\"")));
        QVERIFY(!generator.generateSvgQr(QString(2331, QLatin1Char('x')), 1, Ecc::MEDIUM).isEmpty());
        QCOMPARE(generator.generateSvgQr(QString(2332, QLatin1Char('x')), 1, Ecc::MEDIUM), QString());
        QCOMPARE(log.lines(QtCriticalMsg).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestQrCode)
#include "tst_qrcode.moc"
