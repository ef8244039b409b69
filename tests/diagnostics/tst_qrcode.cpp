#include "LogCapture.h"
#include "QrCodeGenerator.h"
#include "QrDecode.h"

#include <QtTest>

using Ecc = qrcodegen::QrCode::Ecc;

class TestQrCode : public QObject
{
    Q_OBJECT
private slots:
    void scansBack_data();
    void scansBack();
    void emptyTextIsSmallestSymbol();
    void tooLongTextIsReported();
};

void TestQrCode::scansBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ecc");
    QTest::newRow("plain") << QStringLiteral("DEMO-0000001;2024-03-01 09:15;OK") << int(Ecc::MEDIUM);
    QTest::newRow("greek") << QStringLiteral("Δοκιμή συσκευής: Ακυρωτής εισιτηρίων ΟΚ") << int(Ecc::MEDIUM);
    QTest::newRow("digits, high") << QStringLiteral("0123456789012345") << int(Ecc::HIGH);
    QTest::newRow("long") << QString(600, QLatin1Char('k')) << int(Ecc::LOW);
}

void TestQrCode::scansBack()
{
    QFETCH(QString, text);
    QFETCH(int, ecc);
    QrCodeGenerator generator;
    const QString svg = generator.generateSvgQr(text, 1, Ecc(ecc));
    QCOMPARE(generator.generateSvgQr(text, 1, Ecc(ecc)), svg);
    SCAN_OR_SKIP(scanned, svg);
    QCOMPARE(scanned, text);
}

void TestQrCode::emptyTextIsSmallestSymbol()
{
    const QString svg = QrCodeGenerator().generateSvgQr(QString(), 1, Ecc::MEDIUM);
    QVERIFY(svg.startsWith(QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE svg")));
    QVERIFY(svg.contains(QLatin1String("viewBox=\"0 0 23 23\"")));
    QVERIFY(svg.contains(QLatin1String("<path d=\"M1,1h1v1h-1z M2,1h1v1h-1z")));
    QVERIFY(svg.endsWith(QLatin1String("\" fill=\"#000000\"/></svg>")));
    QVERIFY(!svg.contains(QLatin1Char('\n')));
}

void TestQrCode::tooLongTextIsReported()
{
    LogCapture log(QStringLiteral("[QrCodeGenerator] "));
    QrCodeGenerator generator;
    QVERIFY(generator.generateSvgQr(QString(2331, QLatin1Char('x')), 1, Ecc::MEDIUM).size() > 0);
    QCOMPARE(generator.generateSvgQr(QString(2332, QLatin1Char('x')), 1, Ecc::MEDIUM), QString());
    QCOMPARE(log.lines(QtCriticalMsg).size(), 1);
    QVERIFY(log.lines(QtCriticalMsg).first().startsWith(QLatin1String("ERROR: ")));
}

QTEST_GUILESS_MAIN(TestQrCode)
#include "tst_qrcode.moc"
