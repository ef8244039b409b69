// The self-test page in the real window with the real GUI manager, its requests
// recorded by a fake broker connection.

#include "GuiFixture.h"

#include "Diagnostics.h"
#include "LogCapture.h"
#include "ScreenRecorder.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

namespace {
const int kTimeout = 15000;
const QString kLedPlay = QStringLiteral("vexa/board/led/play/request/1");
const QString kLedOff = QStringLiteral("vexa/board/led/off/request/1");
const QString kRfidDisable = QStringLiteral("vexa/rfid/disable");

QQuickItem* findItem(QQuickItem* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}
} // namespace

class TestDiagnosticsPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<GuiFixture> f;
    QQuickWindow* window = nullptr;
    QString previousDir;

    QQuickItem* item(const QString& name) const { return findItem(window->contentItem(), name); }
    // The page's pop-ups go with it.
    QObject* popup(const QString& name) const { return page() ? page()->findChild<QObject*>(name) : nullptr; }
    QQuickItem* page() const { return item(QStringLiteral("diagnosticsPage")); }
    QQuickItem* stack() const { return item(QStringLiteral("settingsStack")); }
    int depth() const { return stack()->property("depth").toInt(); }

    // A finger on the middle of the item.
    void tap(QQuickItem* target)
    {
        QVERIFY(target);
        const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    void tapCheck(const QString& name) { tap(item(QStringLiteral("check_") + name)); }
    void waitOpened(const QString& name)
    {
        QObject* p = popup(name);
        QVERIFY2(p, qPrintable(name));
        QTRY_VERIFY_WITH_TIMEOUT(p->property("opened").toBool(), kTimeout);
    }
    void waitClosed(const QString& name)
    {
        // Gone with its page counts as closed.
        QTRY_VERIFY_WITH_TIMEOUT(!popup(name) || !popup(name)->property("visible").toBool(), kTimeout);
    }
    // "popupYes" or "popupNo" of an open dialog.
    void answer(const QString& dialog, bool yes)
    {
        waitOpened(dialog);
        if (QTest::currentTestFailed())
            return;
        QQuickItem* content = popup(dialog)->property("contentItem").value<QQuickItem*>();
        tap(findItem(content, yes ? QStringLiteral("popupYes") : QStringLiteral("popupNo")));
        waitClosed(dialog);
    }

    void readerSearching()
    {
        f->inject(QStringLiteral("vexa/blm/status"),
            QJsonObject { { "service", true }, { "device", QJsonObject { { "rfid", QJsonObject { { "state", 2 } } } } },
                { "state",
                    QJsonObject {
                        { "hasRfid", true }, { "hasRoute", true }, { "hasQr", true }, { "hasObu", true } } } });
    }

    void login()
    {
        f->gui->setMaintenanceScreen();
        f->gui->settingsLoginRequest(f->config->get(QStringLiteral("gui/settingsPin")).toString());
        QTRY_COMPARE_WITH_TIMEOUT(f->gui->screen(), QStringLiteral("Settings"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(stack() && stack()->isVisible(), kTimeout);
    }
    void openPage()
    {
        QVERIFY(QMetaObject::invokeMethod(item(QStringLiteral("settingsPage")), "openRow", Q_ARG(QVariant, 1)));
        QTRY_VERIFY_WITH_TIMEOUT(page() && !stack()->property("busy").toBool(), kTimeout);
    }
    // The periodic check runs while the page is open.
    bool checking() const
    {
        const QTimer* timer = f->gui->diagnostics()->findChild<QTimer*>();
        return timer && timer->isActive();
    }
    QColor rowColour(const QString& property) const
    {
        return item(QStringLiteral("result_") + property)->property("valueColour").value<QColor>();
    }
    QColor buttonColour(const QString& check) const
    {
        return item(QStringLiteral("check_") + check)->property("color").value<QColor>();
    }
    // Judged by hue, as a technician sees them.
    static bool isRed(const QColor& c) { return c.hsvSaturation() > 128 && (c.hsvHue() < 15 || c.hsvHue() > 345); }
    static bool isAmber(const QColor& c) { return c.hsvSaturation() > 128 && c.hsvHue() >= 35 && c.hsvHue() <= 55; }
    static bool isGreen(const QColor& c) { return c.hsvSaturation() > 100 && c.hsvHue() >= 90 && c.hsvHue() <= 150; }
    static bool isGrey(const QColor& c) { return c.hsvSaturation() < 30; }

private slots:
    void initTestCase()
    {
        previousDir = QDir::currentPath();
        f = std::make_unique<GuiFixture>();
        // The report is written into the working folder.
        QVERIFY(QDir::setCurrent(f->dir.path()));
        f->setValidator(QStringLiteral("online"));
        f->setIgnition(true);
        f->gui->load();
        window = ScreenRecorder::mainWindow(*f->gui);
        QVERIFY(window);
    }

    void init()
    {
        login();
        openPage();
        QVERIFY(checking());
    }

    void cleanup()
    {
        if (f->gui->screen() == QLatin1String("Settings"))
            f->gui->settingsLogoutRequest();
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
        QVERIFY(!checking());
    }

    void cleanupTestCase()
    {
        f.reset();
        QDir::setCurrent(previousDir);
    }

    void resultsAreColouredByTheirText()
    {
        Diagnostics* d = f->gui->diagnostics();
        d->setSerialPort(QDir(f->dir.path()).filePath(QStringLiteral("no-such-port")));
        QTRY_COMPARE_WITH_TIMEOUT(d->serialPortTest(), QStringLiteral("ERROR (Could not open)"), kTimeout);
        QVERIFY(isRed(rowColour(QStringLiteral("serialPortTest"))));
        QCOMPARE(d->rtc(), QStringLiteral("OK"));
        QVERIFY(isGreen(rowColour(QStringLiteral("rtc"))));
        d->setCardScan(QStringLiteral("12.1 V"));
        QVERIFY(isAmber(buttonColour(QStringLiteral("rfid"))));
        QVERIFY(isGrey(buttonColour(QStringLiteral("buzzer"))));
        QVERIFY(isGrey(buttonColour(QStringLiteral("serial"))));
        d->setCardScan(QString());
    }

    // Whatever the answer, the LEDs end up off, once.
    void ledDialogAlwaysEndsWithTheLedsOff()
    {
        Diagnostics* d = f->gui->diagnostics();
        for (bool yes : { true, false }) {
            const int plays = f->countOn(kLedPlay);
            const int offs = f->countOn(kLedOff);
            tapCheck(QStringLiteral("leds"));
            waitOpened(QStringLiteral("ledsDialog"));
            QCOMPARE(f->countOn(kLedPlay), plays + 1);
            QCOMPARE(f->countOn(kLedOff), offs);
            answer(QStringLiteral("ledsDialog"), yes);
            QCOMPARE(d->leds(), yes ? QStringLiteral("OK") : QStringLiteral("ERROR"));
            QCOMPARE(f->countOn(kLedOff), offs + 1);
        }
        // Leaving with the LEDs flashing switches them off too.
        const int offs = f->countOn(kLedOff);
        tapCheck(QStringLiteral("leds"));
        waitOpened(QStringLiteral("ledsDialog"));
        f->gui->settingsLogoutRequest();
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
        QCOMPARE(f->countOn(kLedOff), offs + 1);
        waitClosed(QStringLiteral("ledsDialog"));
    }

    // The colour test hides the settings header and a tap on blue brings it back
    // with the question; the card check switches the reader on and off.
    void colourAndCardChecks()
    {
        QQuickItem* bar = item(QStringLiteral("settingsBar"));
        tapCheck(QStringLiteral("rgb"));
        QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("colourTest")), kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(bar->height(), 0.0, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!stack()->property("busy").toBool(), kTimeout);
        for (const char* colour : { "#ff0000", "#008000", "#0000ff" }) {
            QCOMPARE(item(QStringLiteral("colourTest"))->property("color").value<QColor>(), QColor(colour));
            tap(item(QStringLiteral("colourTest")));
        }
        answer(QStringLiteral("rgbDialog"), true);
        QCOMPARE(bar->height(), 70.0);
        QCOMPARE(f->gui->diagnostics()->rgbTest(), QStringLiteral("OK"));

        const int enables = f->countOn(QStringLiteral("vexa/rfid/enable"));
        tapCheck(QStringLiteral("rfid"));
        waitOpened(QStringLiteral("cardPopup"));
        QCOMPARE(f->countOn(QStringLiteral("vexa/rfid/enable")), enables + 1);
        f->inject(QStringLiteral("vexa/rfid/card/found"), QJsonObject { { "uid", "04A1B2C3" }, { "type", 8 } });
        QCOMPARE(popup(QStringLiteral("cardPopup"))->property("text").toString(),
            QStringLiteral("CARD DETECTED\n04A1B2C3\nMIFARE Classic 4K"));
        QCOMPARE(f->gui->diagnostics()->cardScan(), QStringLiteral("OK"));
        f->inject(QStringLiteral("vexa/rfid/card/removed"), QJsonObject());
        QCOMPARE(popup(QStringLiteral("cardPopup"))->property("text").toString(), QStringLiteral("Tap a card"));
        // The reader reports itself searching: switched off when the pop-up closes.
        readerSearching();
        const int disables = f->countOn(kRfidDisable);
        tap(page());
        waitClosed(QStringLiteral("cardPopup"));
        QCOMPARE(f->countOn(kRfidDisable), disables + 1);

        // A ticket read while the barcode pop-up is open passes the check and closes it.
        tapCheck(QStringLiteral("barcode"));
        waitOpened(QStringLiteral("barcodePopup"));
        f->inject(QStringLiteral("vexa/blm/barcode/scanned"),
            QJsonObject { { "transaction", QJsonObject { { "result", true }, { "type", 0 } } } });
        QCOMPARE(f->gui->diagnostics()->barcodeScan(), QStringLiteral("OK"));
        waitClosed(QStringLiteral("barcodePopup"));
        QCOMPARE(f->gui->screen(), QStringLiteral("Settings"));
    }

    // The session ends in the middle of checks: monitoring stopped, the header back,
    // and the card reader left as the idle rule wants it for the passengers.
    void leavingMidCheckEndsIt()
    {
        LogCapture log(QStringLiteral("[Board] "));
        tapCheck(QStringLiteral("sensor"));
        waitOpened(QStringLiteral("sensorDialog"));
        QVERIFY(log.texts().contains(QStringLiteral("Monitor started : 2000 msec(s)")));
        f->setIgnition(false);
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
        QVERIFY(log.texts().contains(QStringLiteral("Monitor stopped")));
        f->setIgnition(true);

        login();
        openPage();
        QQuickItem* bar = item(QStringLiteral("settingsBar"));
        tapCheck(QStringLiteral("rgb"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->height(), 0.0, kTimeout);
        f->gui->settingsLogoutRequest();
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
        QCOMPARE(bar->height(), 70.0);

        login();
        openPage();
        tapCheck(QStringLiteral("rfid"));
        waitOpened(QStringLiteral("cardPopup"));
        readerSearching();
        const int disables = f->countOn(kRfidDisable);
        f->gui->settingsLogoutRequest();
        QTRY_COMPARE_WITH_TIMEOUT(f->gui->screen(), QStringLiteral("ScanScreens"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
        waitClosed(QStringLiteral("cardPopup"));
        QCOMPARE(f->countOn(kRfidDisable), disables);
    }

    void failedSaveStaysOnThePageWithoutQr()
    {
        Diagnostics* d = f->gui->diagnostics();
        const QDateTime when(QDate(2026, 3, 1), QTime(9, 15));
        d->setClock([when] { return when; });
        // A folder where the report should go.
        QVERIFY(QDir(f->dir.path()).mkdir(QStringLiteral("TestReport_20260301_0915.txt")));
        tapCheck(QStringLiteral("finish"));
        waitOpened(QStringLiteral("reportPopup"));
        QObject* report = popup(QStringLiteral("reportPopup"));
        QVERIFY(report->property("text").toString().startsWith(QStringLiteral("Could not save Test Report\nERROR: ")));
        QVERIFY(!report->property("hasImage").toBool());
        tap(page());
        waitClosed(QStringLiteral("reportPopup"));
        QCOMPARE(depth(), 2);
        QVERIFY(page());

        // Out of the way: saved, with the QR code, and closing returns to the menu.
        QVERIFY(QDir(f->dir.path()).rmdir(QStringLiteral("TestReport_20260301_0915.txt")));
        tapCheck(QStringLiteral("finish"));
        waitOpened(QStringLiteral("reportPopup"));
        QVERIFY(report->property("text").toString().startsWith(QStringLiteral("Test report saved successfully:\n")));
        QVERIFY(QUrl::fromPercentEncoding(report->property("imageSource").toString().toUtf8())
                    .startsWith(QStringLiteral("data:image/svg,<?xml")));
        tap(page());
        QTRY_COMPARE_WITH_TIMEOUT(depth(), 1, kTimeout);
        d->setClock(&QDateTime::currentDateTime);
    }
};

QTEST_MAIN(TestDiagnosticsPage)
#include "tst_diagnosticspage.moc"
