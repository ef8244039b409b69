#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QSvgRenderer>
#include <QtTest>

// The images and style file that the QML names, as compiled into the program.
namespace {

QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings.append(msg);
}

const QStringList kIcons { "valid", "invalid", "warning", "retry", "qr-code", "nfc", "ticket", "diagnostic", "region",
    "audio", "brightness-2", "network", "update", "log", "chevron-left", "arrow-right", "lock", "search", "calendar",
    "clock", "trash" };

// The full-size frames stay in the source tree: the program carries only their crops.
QString fullFrame(const QString& animation, int n)
{
    return QString::fromLocal8Bit(qgetenv("TICORA_SOURCE_DIR")) + QStringLiteral("/qml/images/%1/%2.png").arg(animation).arg(n);
}

QImage frame(const char* animation, int n) { return QImage(fullFrame(QLatin1String(animation), n)); }

} // namespace

class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void rasterImagesHaveTheirSizes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::newRow("background") << ":/qml/images/background.png" << QSize(480, 800);
        for (int i = 0; i <= 6; ++i)
            QTest::addRow("card frame %d", i) << fullFrame(QStringLiteral("NFC"), i) << QSize(480, 536);
        for (int i = 0; i <= 8; ++i)
            QTest::addRow("ticket frame %d", i) << fullFrame(QStringLiteral("Barcode"), i) << QSize(480, 536);
        QTest::newRow("greek flag") << ":/qml/images/Flags/gr.png" << QSize(60, 61);
        QTest::newRow("english flag") << ":/qml/images/Flags/uk.png" << QSize(60, 61);
        QTest::newRow("logo") << ":/qml/images/Icons/vexa.png" << QSize(327, 176);
        QTest::newRow("menu") << ":/qml/images/Icons/menu.png" << QSize(20, 20);
    }

    void rasterImagesHaveTheirSizes()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
    }

    void animationsMoveAndLoopCleanly()
    {
        // the card animation passes through its last frame on the way back to the first
        QCOMPARE(frame("NFC", 6), frame("NFC", 0));
        for (int i = 1; i <= 5; ++i)
            QVERIFY2(frame("NFC", i) != frame("NFC", i - 1), qPrintable(QString::number(i)));
        for (int i = 1; i <= 8; ++i)
            QVERIFY2(frame("Barcode", i) != frame("Barcode", i - 1), qPrintable(QString::number(i)));
        QVERIFY(frame("Barcode", 8) != frame("Barcode", 0));
    }

    void framesLetTheBackgroundShowThrough()
    {
        const QImage background(QStringLiteral(":/qml/images/background.png"));
        QVERIFY(!background.hasAlphaChannel() || qAlpha(background.pixel(0, 0)) == 255);
        for (int i = 0; i <= 8; ++i) {
            const QImage f = frame("Barcode", i).convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(qAlpha(f.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(f.pixel(479, 535)), 0);
        }
        const QImage card = frame("NFC", 0).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(qAlpha(card.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(card.pixel(479, 535)), 0);
    }

    // The controls recolour icons with an overlay, so an icon must load cleanly in Qt's own
    // SVG renderer (which knows less than most editors) and draw in a single colour.
    void iconsLoadAndAreSingleColoured_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& icon : kIcons)
            QTest::newRow(qPrintable(icon)) << icon;
    }

    void iconsLoadAndAreSingleColoured()
    {
        QFETCH(QString, name);
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        QSvgRenderer renderer(QStringLiteral(":/qml/images/Icons/%1.svg").arg(name));
        QImage image(96, 96, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            renderer.render(&painter);
        }
        qInstallMessageHandler(previous);
        QVERIFY(renderer.isValid());
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));

        int opaque = 0;
        QRgb colour = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qAlpha(p) < 128)
                    continue;
                if (opaque++ == 0)
                    colour = p;
                // edges are blended, so allow a little rounding
                QVERIFY2(qAbs(qRed(p) - qRed(colour)) <= 8 && qAbs(qGreen(p) - qGreen(colour)) <= 8
                             && qAbs(qBlue(p) - qBlue(colour)) <= 8,
                    qPrintable(QStringLiteral("second colour at %1,%2").arg(x).arg(y)));
            }
        }
        // an icon that draws next to nothing is as broken as one that fails to load
        QVERIFY2(opaque > 96 * 96 / 20, qPrintable(QString::number(opaque)));
    }

    void styleConfigurationAtTheRoot()
    {
        QVERIFY(QFile::exists(QStringLiteral(":/qtquickcontrols2.conf")));
        QSettings conf(QStringLiteral(":/qtquickcontrols2.conf"), QSettings::IniFormat);
        QCOMPARE(conf.status(), QSettings::NoError);
        QCOMPARE(conf.value("Material/Primary").toString(), QStringLiteral("#00ADD7"));
        QCOMPARE(conf.value("Material/Accent").toString(), QStringLiteral("#00ADD7"));
        QCOMPARE(conf.value("Material/Theme").toString(), QStringLiteral("Dark"));
        QCOMPARE(conf.value("Universal/Accent").toString(), QStringLiteral("#30c1fd"));
        QCOMPARE(conf.value("Universal/Theme").toString(), QStringLiteral("Dark"));
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
