// The self-test page in the real window with the real GUI manager; requests are
// recorded by the fake broker connection.

#include "GuiRig.h"

#include "Diagnostics.h"
#include "LogCapture.h"
#include "ScreenRecorder.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

namespace {
const int kTimeout = 15000;
const QString kLedOff = QStringLiteral("vexa/board/led/off/request/1");

// Judged by hue, as a technician sees them.
bool isRed(const QColor& c) { return c.hsvSaturation() > 128 && (c.hsvHue() < 15 || c.hsvHue() > 345); }
bool isAmber(const QColor& c) { return c.hsvSaturation() > 128 && c.hsvHue() >= 35 && c.hsvHue() <= 55; }
bool isGrey(const QColor& c) { return c.hsvSaturation() < 30; }
} // namespace

class TestDiagnosticsPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<GuiRig> f;
    QQuickWindow* window = nullptr;

    QQuickItem* item(const QString& name) const { return GuiRig::findIn(window->contentItem(), name); }
    QQuickItem* page() const { return item(QStringLiteral("diagnosticsPage")); }
    QObject* popup(const QString& name) const { return page() ? page()->findChild<QObject*>(name) : nullptr; }
    QColor colour(const QString& name, const char* property) const
    {
        return item(name)->property(property).value<QColor>();
    }
    bool checking() const { return f->gui->diagnostics()->findChild<QTimer*>()->isActive(); }

    void tap(QQuickItem* target)
    {
        QVERIFY(target);
        const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    void open(const QString& check, const QString& popupName)
    {
        tap(item(QStringLiteral("check_") + check));
        QTRY_VERIFY_WITH_TIMEOUT(popup(popupName) && popup(popupName)->property("opened").toBool(), kTimeout);
    }
    void answer(const QString& dialog, bool yes)
    {
        QQuickItem* content = popup(dialog)->property("contentItem").value<QQuickItem*>();
        tap(GuiRig::findIn(content, yes ? QStringLiteral("popupYes") : QStringLiteral("popupNo")));
        QTRY_VERIFY_WITH_TIMEOUT(!popup(dialog)->property("visible").toBool(), kTimeout);
    }
    void logout()
    {
        f->gui->settingsLogoutRequest();
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
    }

private slots:
    void initTestCase()
    {
        f = std::make_unique<GuiRig>();
        f->setValidator(QStringLiteral("online"));
        f->setIgnition(true);
        f->gui->load();
        window = ScreenRecorder::mainWindow(*f->gui);
        QVERIFY(window);
    }

    void init()
    {
        f->gui->setMaintenanceScreen();
        f->gui->settingsLoginRequest(f->config->get(QStringLiteral("gui/settingsPin")).toString());
        QTRY_COMPARE_WITH_TIMEOUT(f->gui->screen(), QStringLiteral("Settings"), kTimeout);
        QVERIFY(QMetaObject::invokeMethod(item(QStringLiteral("settingsPage")), "openRow", Q_ARG(QVariant, 1)));
        QTRY_VERIFY_WITH_TIMEOUT(page() && !item(QStringLiteral("settingsStack"))->property("busy").toBool(), kTimeout);
        QVERIFY(checking());
    }

    void cleanup()
    {
        if (page())
            logout();
        QVERIFY(!checking());
    }

    void resultsAreColouredByTheirText()
    {
        Diagnostics* d = f->gui->diagnostics();
        d->setSerialPort(QDir::temp().filePath(QStringLiteral("no-such-port")));
        QTRY_COMPARE_WITH_TIMEOUT(d->serialPortTest(), QStringLiteral("ERROR (Could not open)"), kTimeout);
        QVERIFY(isRed(colour(QStringLiteral("result_serialPortTest"), "valueColour")));
        d->setCardScan(QStringLiteral("12.1 V"));
        QVERIFY(isAmber(colour(QStringLiteral("check_rfid"), "color")));
        QVERIFY(isGrey(colour(QStringLiteral("check_buzzer"), "color")));
        d->setCardScan(QString());
    }

    // Whatever the answer, and when the session ends with the dialog open.
    void ledDialogAlwaysEndsWithTheLedsOff()
    {
        for (bool yes : { true, false }) {
            const int offs = f->countOn(kLedOff);
            const int plays = f->countOn(QStringLiteral("vexa/board/led/play/request/1"));
            open(QStringLiteral("leds"), QStringLiteral("ledsDialog"));
            QCOMPARE(f->countOn(QStringLiteral("vexa/board/led/play/request/1")), plays + 1);
            QCOMPARE(f->countOn(kLedOff), offs);
            answer(QStringLiteral("ledsDialog"), yes);
            QCOMPARE(f->gui->diagnostics()->leds(), yes ? QStringLiteral("OK") : QStringLiteral("ERROR"));
            QCOMPARE(f->countOn(kLedOff), offs + 1);
        }
        const int offs = f->countOn(kLedOff);
        open(QStringLiteral("leds"), QStringLiteral("ledsDialog"));
        logout();
        QCOMPARE(f->countOn(kLedOff), offs + 1);
    }

    // Ignition off with the sensor check open, log-out during the colour test and
    // with the card check open: monitoring stops, the header comes back, and the
    // card reader stays as the idle rule set it for the passengers.
    void leavingMidCheckEndsIt()
    {
        LogCapture log(QStringLiteral("[Board] "));
        open(QStringLiteral("sensor"), QStringLiteral("sensorDialog"));
        QVERIFY(log.texts().contains(QStringLiteral("Monitor started : 2000 msec(s)")));
        f->setIgnition(false);
        QTRY_VERIFY_WITH_TIMEOUT(!page(), kTimeout);
        QVERIFY(log.texts().contains(QStringLiteral("Monitor stopped")));
        f->setIgnition(true);

        init();
        QQuickItem* bar = item(QStringLiteral("settingsBar"));
        tap(item(QStringLiteral("check_rgb")));
        QTRY_COMPARE_WITH_TIMEOUT(bar->height(), 0.0, kTimeout);
        logout();
        QCOMPARE(bar->height(), 70.0);

        init();
        open(QStringLiteral("rfid"), QStringLiteral("cardPopup"));
        // The reader reports itself searching.
        f->inject(QStringLiteral("vexa/blm/status"),
            QJsonObject { { "service", true }, { "device", QJsonObject { { "rfid", QJsonObject { { "state", 2 } } } } },
                { "state",
                    QJsonObject {
                        { "hasRfid", true }, { "hasRoute", true }, { "hasQr", true }, { "hasObu", true } } } });
        logout();
        QCOMPARE(f->gui->screen(), QStringLiteral("ScanScreens"));
        QCOMPARE(f->countOn(QStringLiteral("vexa/rfid/disable")), 0);
    }

    void failedSaveStaysOnThePageWithoutQr()
    {
        // The report goes into the working folder; a folder of its name is in the way.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(f->dir.path()));
        f->gui->diagnostics()->setClock([] { return QDateTime(QDate(2026, 3, 1), QTime(9, 15)); });
        QVERIFY(QDir().mkdir(QStringLiteral("TestReport_20260301_0915.txt")));
        // (A successful save, its QR code and the way back are the end-to-end test's.)
        open(QStringLiteral("finish"), QStringLiteral("reportPopup"));
        QObject* report = popup(QStringLiteral("reportPopup"));
        QVERIFY(report->property("text").toString().startsWith(QStringLiteral("Could not save Test Report\nERROR: ")));
        QVERIFY(!report->property("hasImage").toBool());
        tap(page());
        QTRY_VERIFY_WITH_TIMEOUT(!report->property("visible").toBool(), kTimeout);
        QVERIFY(page());

        f->gui->diagnostics()->setClock(&QDateTime::currentDateTime);
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(TestDiagnosticsPage)
#include "tst_diagnosticspage.moc"
