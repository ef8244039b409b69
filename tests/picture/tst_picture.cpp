#include "PictureProvider.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

// The window's picture decoder: recolouring, round cuts, shadows, pictures whose
// name lies about their type, and icons that come rendered from the build.
class tst_Picture : public QObject
{
    Q_OBJECT
private slots:
    void tintKeepsCoverageAndMixesByTheColoursAlpha()
    {
        QImage source(2, 1, QImage::Format_ARGB32);
        source.setPixel(0, 0, qRgba(255, 255, 255, 255));
        source.setPixel(1, 0, qRgba(255, 255, 255, 64));

        const QImage solid = PictureProvider::tint(source, QColor(0x41, 0xb9, 0x87)).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(solid.pixel(0, 0), qRgba(0x41, 0xb9, 0x87, 255));
        QCOMPARE(qAlpha(solid.pixel(1, 0)), 64);
        QVERIFY(qAbs(qGreen(solid.pixel(1, 0)) - 0xb9) <= 2);

        // A half-transparent colour mixes halfway; a transparent one changes nothing.
        const QImage half = PictureProvider::tint(source, QColor(0, 0, 0, 128)).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(qAbs(qRed(half.pixel(0, 0)) - 127) <= 1);
        QCOMPARE(qAlpha(half.pixel(0, 0)), 255);
        QCOMPARE(PictureProvider::tint(source, Qt::transparent).convertToFormat(QImage::Format_ARGB32), source);
    }

    void readsByNameAndFallsBackToTheContent()
    {
        QTemporaryDir dir;
        QImage picture(10, 6, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const QString lying = dir.filePath(QStringLiteral("photo.jpg"));
        QVERIFY(picture.save(lying, "png"));
        QString error;
        const QImage read = PictureProvider::read(QUrl::fromLocalFile(lying).toString(), QSize(), &error);
        QCOMPARE(read.size(), QSize(10, 6));
        QCOMPARE(read.pixel(3, 3), QColor(Qt::red).rgb());

        // Scaled, keeping the aspect ratio, until it covers the size asked for.
        QCOMPARE(PictureProvider::read(QUrl::fromLocalFile(lying).toString(), QSize(5, 5), &error).size(), QSize(8, 5));
        QCOMPARE(PictureProvider::read(QUrl::fromLocalFile(lying).toString(), QSize(40, 12), &error).size(), QSize(40, 24));

        error.clear();
        QVERIFY(PictureProvider::read(QUrl::fromLocalFile(dir.filePath(QStringLiteral("none.png"))).toString(), QSize(), &error).isNull());
        QVERIFY(!error.isEmpty());
        QVERIFY(PictureProvider::read(QStringLiteral("http://127.0.0.1/x.png"), QSize(), &error).isNull());
    }

    void badTintedAddressesGiveNoPicture()
    {
        PictureProvider tinted(PictureProvider::Mode::Tinted);
        QSize size;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No colour")));
        QVERIFY(tinted.requestImage(QStringLiteral("zz/qrc:/qml/images/Icons/menu.png"), &size, QSize()).isNull());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot read")));
        QVERIFY(tinted.requestImage(QStringLiteral("ff000000/qrc:/qml/images/none.png"), &size, QSize()).isNull());
        const QImage menu = tinted.requestImage(QStringLiteral("ff00add7/qrc:/qml/images/Icons/menu.png"), &size, QSize());
        QCOMPARE(size, QSize(20, 20));
        QCOMPARE(menu.size(), size);
    }

    void roundClearsAllButTheCircle()
    {
        QImage square(20, 20, QImage::Format_RGB32);
        square.fill(Qt::red);
        const QImage out = PictureProvider::round(square).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(out.pixel(10, 10), QColor(Qt::red).rgb());
        QCOMPARE(qAlpha(out.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(out.pixel(19, 19)), 0);
        QVERIFY(qAlpha(out.pixel(0, 9)) > 0 && qAlpha(out.pixel(0, 9)) < 255);
    }

    void shadowIsTheBlurredRoundedRectangleWithRoomForTheBlur()
    {
        PictureProvider shadows(PictureProvider::Mode::Shadow);
        QSize size;
        const QImage soft = shadows.requestImage(QStringLiteral("40x20/5/2/80000000"), &size, QSize())
                                .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(size, QSize(40 + 14, 20 + 14)); // three deviations and a pixel each side
        const int cx = soft.width() / 2, cy = soft.height() / 2;
        QCOMPARE(qAlpha(soft.pixel(cx, cy)), 128);
        QCOMPARE(qAlpha(soft.pixel(0, 0)), 0);
        // Half the colour on the outline (between pixels 6 and 7), the same at top
        // and bottom, fainter at the rounded corner.
        QVERIFY(qAbs((qAlpha(soft.pixel(6, cy)) + qAlpha(soft.pixel(7, cy))) / 2 - 64) <= 2);
        QCOMPARE(soft.pixel(cx, 3), soft.pixel(cx, soft.height() - 4));
        QVERIFY(qAlpha(soft.pixel(7, 7)) < qAlpha(soft.pixel(7, cy)) / 2);

        for (const char* id : { "40x20/5/2", "0x20/5/2/80000000", "40x20/5/500/80000000", "40x20/x/2/zz000000" }) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Not a shadow")));
            QVERIFY2(shadows.requestImage(QString::fromLatin1(id), &size, QSize()).isNull(), id);
        }
    }

    void iconsComeRenderedFromTheBuildAsTheSvgWouldDrawThem()
    {
        // A size the screens use: the build's picture, equal to drawing the SVG.
        QString error;
        const QImage built = PictureProvider::read(QStringLiteral("qrc:/qml/images/Icons/valid.svg"), QSize(250, 250), &error);
        QImageReader svg(QStringLiteral(":/qml/images/Icons/valid.svg"), "svg");
        svg.setScaledSize(QSize(250, 250));
        QCOMPARE(built, svg.read().convertToFormat(QImage::Format_ARGB32_Premultiplied));
        QVERIFY(PictureProvider::unrendered().isEmpty());

        // Another size is scaled from a rendering, and named; only an icon the build
        // never rendered is drawn from its SVG.
        const QImage scaled = PictureProvider::read(QStringLiteral("qrc:/qml/images/Icons/valid.svg"), QSize(33, 33), &error);
        QCOMPARE(scaled.size(), QSize(33, 33));
        QCOMPARE(PictureProvider::unrendered(), QStringList { QStringLiteral(":/qml/images/Icons/valid.svg at 33x33") });
        QVERIFY(PictureProvider::drawnFromSvg().isEmpty());
        const QImage drawn = PictureProvider::read(QStringLiteral("qrc:/qml/images/Icons/calendar.svg"), QSize(20, 20), &error);
        QCOMPARE(drawn.size(), QSize(20, 20));
        QCOMPARE(PictureProvider::drawnFromSvg(), QStringList { QStringLiteral(":/qml/images/Icons/calendar.svg at 20x20") });
    }
};

QTEST_MAIN(tst_Picture)
#include "tst_picture.moc"
