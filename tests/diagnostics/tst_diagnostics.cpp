#include "Board.h"
#include "Diagnostics.h"
#include "FakeTransport.h"
#include "GuiRig.h"
#include "LogCapture.h"
#include "Network.h"
#include "QrCodeGenerator.h"
#include "Validator.h"

#include <QQmlContext>
#include <QQmlExpression>
#include <QtTest>

#include <atomic>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

const QString OK = QStringLiteral("OK"), ERROR = QStringLiteral("ERROR"), MISSING = QStringLiteral("MISSING");

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
}

// The clients the self-test reads, on a fake broker, and the device tree under a temp root.
struct Rig
{
    QTemporaryDir root;
    QString deviceId = QStringLiteral("UNIT-0042");
    FakeMqtt m;
    manager::Board board { m.client, QStringLiteral("vexa/board") };
    manager::Network network { m.client, QStringLiteral("vexa/network") };
    manager::Validator validator { m.client, QStringLiteral("vexa/blm") };
    Diagnostics diag { deviceId, board, network, validator, paths(root.path()) };

    static Diagnostics::Paths paths(const QString& root)
    {
        Diagnostics::Paths p = Diagnostics::Paths::underRoot(root);
        p.reportDir = root;
        return p;
    }
    Rig()
    {
        diag.setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(9, 15, 42)); });
    }
    // Null ids leave that file out, which makes it unreadable.
    void usb(const char* dir, const QByteArray& vendor, const QByteArray& product)
    {
        const QString base = root.filePath(QLatin1String("sys/bus/usb/devices/") + QLatin1String(dir));
        writeFile(base + QLatin1String("/product"), "Device");
        for (const auto& [name, id] : { std::pair { "/idVendor", vendor }, { "/idProduct", product } })
            if (!id.isNull())
                writeFile(base + QLatin1String(name), id);
    }
};

// A pseudo-terminal whose far end, if asked, sends back whatever it receives.
struct Pty
{
    int master = -1, slave = -1;
    QString path;
    std::atomic<bool> stop { false };
    std::thread echo;

    explicit Pty(bool echoing)
    {
        char name[128];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        path = QString::fromLocal8Bit(name);
        if (echoing)
            echo = std::thread([this] {
                pollfd fd { master, POLLIN, 0 };
                char buf[64];
                while (!stop)
                    if (poll(&fd, 1, 20) > 0) {
                        const ssize_t n = read(master, buf, sizeof buf);
                        if (n <= 0 || write(master, buf, size_t(n)) != n)
                            break;
                    }
            });
    }
    ~Pty()
    {
        stop = true;
        if (echo.joinable())
            echo.join();
        ::close(slave);
        ::close(master);
    }
};

} // namespace

class TestDiagnostics : public QObject
{
    Q_OBJECT
private slots:
    // First: the variable is read once per process, by the first self-test built.
    void deviceRootFromEnvironment()
    {
        qputenv("TICORA_DEVICE_ROOT", "/opt/fake");
        const Diagnostics::Paths p = Diagnostics::Paths::device();
        QCOMPARE((QStringList { p.usbDevices, p.sdCard, p.virtualPort, p.reportDir }),
            (QStringList { "/opt/fake/sys/bus/usb/devices", "/opt/fake/dev/mmcblk1p1", "/opt/fake/tmp/vcom", "." }));
    }

    void usbAndSdCard()
    {
        Rig r;
        r.usb("1-1", "0451\n", "2077\n");
        r.usb("1-1.2", QByteArray(), QByteArray()); // any device
        r.usb("1-1.3", "0ab1", "0008"); // wrong product
        r.usb("1-1.5", QByteArray(), "6015"); // vendor unreadable
        r.usb("1-1.7", " 222a ", QByteArray("0001\0junk", 9));
        writeFile(r.root.filePath(QStringLiteral("dev/mmcblk1p1")), QByteArray());
        LogCapture log(QStringLiteral("[Diagnostics] "));
        QSignalSpy rfidChanged(&r.diag, &Diagnostics::rfidUsbChanged);
        r.diag.start(0);
        const QStringList results { r.diag.usbHub(), r.diag.mPCIe1(), r.diag.rfidUsb(), r.diag.usbHost(), r.diag.ftdi(),
            r.diag.barcodeUsb(), r.diag.touch(), r.diag.sdCard() };
        QCOMPARE(results, (QStringList { OK, OK, ERROR, MISSING, ERROR, MISSING, OK, OK }));
        QVERIFY(log.has(QtCriticalMsg,
            "ERROR: Failed to open fle : " + r.root.filePath(QStringLiteral("sys/bus/usb/devices/1-1.5/idVendor"))));

        r.usb("1-1.3", "0ab1", "0007");
        QFile::remove(r.root.filePath(QStringLiteral("dev/mmcblk1p1")));
        r.diag.start(0);
        QCOMPARE(r.diag.rfidUsb(), OK);
        QCOMPARE(r.diag.sdCard(), MISSING);
        QCOMPARE(rfidChanged.count(), 2);
    }

    void serialLoopback()
    {
        Rig r;
        Pty echoing(true), silent(false);
        QVERIFY(!echoing.path.isEmpty() && !silent.path.isEmpty());
        r.diag.start(0);
        QCOMPARE(r.diag.serialPortTest(), MISSING);

        // The echo runs on another thread; a busy machine may make it miss a 50 ms window.
        r.diag.setSerialPort(echoing.path);
        for (int i = 0; i < 100 && r.diag.serialPortTest() != OK; ++i)
            r.diag.start(0);
        QCOMPARE(r.diag.serialPortTest(), OK);
        r.diag.setSerialPort(silent.path);
        r.diag.start(0);
        QCOMPARE(r.diag.serialPortTest(), ERROR);
        r.diag.setSerialPort(r.root.filePath(QStringLiteral("ttyNone")));
        r.diag.start(0);
        QCOMPARE(r.diag.serialPortTest(), QStringLiteral("ERROR (Could not open)"));

        const QString vcom = r.root.filePath(QStringLiteral("tmp/vcom"));
        QVERIFY(!r.diag.serialPorts().contains(vcom));
        writeFile(vcom, QByteArray());
        r.diag.start(0);
        QCOMPARE(r.diag.serialPorts().first(), QStringLiteral("NONE"));
        QCOMPARE(r.diag.serialPorts().last(), vcom);
    }

    void portSelection()
    {
        const QStringList ports { "NONE", "ttyS0", "ttyUSB0" };
        QCOMPARE(Diagnostics::autoSelectedPort("NONE", ports), QStringLiteral("ttyUSB0"));
        QCOMPARE(Diagnostics::autoSelectedPort("ttyS0", ports), QStringLiteral("ttyS0"));
        QCOMPARE(Diagnostics::autoSelectedPort("ttyACM0", ports), QStringLiteral("ttyUSB0"));
        QCOMPARE(Diagnostics::autoSelectedPort("NONE", { "NONE", "ttyS0" }), QStringLiteral("NONE"));
    }

    // A visit switches each thing a check started off once, whether the check is answered
    // or the visit ends first; answers and scans count only while it lasts.
    void sessionUndoesWhatItsChecksStarted()
    {
        Rig r;
        SelfTestSession* s = r.diag.session();
        const QString ledOff = QStringLiteral("vexa/board/led/off/request/1");
        LogCapture log;
        s->begin();
        QVERIFY(s->active());
        QVERIFY(r.diag.findChild<QTimer*>()->isActive());

        s->startLeds();
        s->stopLeds();
        s->stopLeds();
        QCOMPARE(r.m.transport->payloadsOn(ledOff).size(), 1);
        s->answer(QStringLiteral("leds"), false);
        s->answer(QStringLiteral("rgbTest"), true);
        QCOMPARE((QStringList { r.diag.leds(), r.diag.rgbTest() }), (QStringList { ERROR, OK }));
        s->answer(QStringLiteral("poleId"), true);
        QVERIFY(log.has(QtWarningMsg, "[Diagnostics] WARN: Ignoring answer to unknown check : poleId"));
        emit r.validator.cardDetected(QStringLiteral("04A1"), QStringLiteral("Mifare"));
        QCOMPARE(r.diag.cardScan(), OK);

        s->startLeds();
        s->startLightSensor();
        s->end();
        s->end();
        QVERIFY(!s->active());
        QVERIFY(!r.diag.findChild<QTimer*>()->isActive());
        QCOMPARE(r.m.transport->payloadsOn(ledOff).size(), 2);
        QCOMPARE(log.texts().count(QStringLiteral("[Board] Monitor stopped")), 1);
        r.diag.setCardScan(QString());
        emit r.validator.cardDetected(QStringLiteral("04A1"), QStringLiteral("Mifare"));
        QCOMPARE(r.diag.cardScan(), QString());
    }

    // The manager builds it before reading the device id, so it must follow the id.
    void onTheGuiManager()
    {
        GuiRig f(QStringLiteral("K12345678"));
        QQmlExpression qml(f.gui->engine().rootContext(), nullptr, "manager.diagnostics.serialPort");
        QCOMPARE(qml.evaluate(), QVariant(QStringLiteral("NONE")));
        QVERIFY(f.gui->diagnostics()->summary(QDateTime::currentDateTime()).startsWith("K12345678;"));
    }

    void report()
    {
        Rig r;
        r.deviceId = QStringLiteral("SERIAL-NUMBER-LONGER-THAN-THE-FIELD-0042");
        QSignalSpy finished(&r.diag, &Diagnostics::saveReportFinished);
        const QString fileName = r.root.path() + QLatin1String("/TestReport_20240301_0915.txt");
        r.diag.saveReport();
        r.diag.setBuzzer(OK);
        r.diag.saveReport(); // the same minute: the same file, rewritten
        QCOMPARE(finished.last(), (QVariantList { true, QString("Test report saved successfully:\n" + fileName) }));
        QCOMPARE(QDir(r.root.path()).entryList(QDir::Files), QStringList { QFileInfo(fileName).fileName() });

        QFile file(fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 37); // and no line feed after the last
        QCOMPARE(lines[3], " Device UID       " + r.deviceId);
        QCOMPARE(lines[4], " Date             " + QString(19, ' ') + "2024-03-01 09:15");
        QCOMPARE(lines[27], " Buzzer           " + QString(33, ' ') + "OK");
        QCOMPARE(lines[32], " Barocde Manager  " + QString(30, ' ') + "ERROR");
        QCOMPARE(lines[36], QString(53, '-'));
        for (const QString& line : lines.mid(5))
            QVERIFY2(line.size() == 53, qPrintable(line));

        Diagnostics::Paths p;
        p.reportDir = fileName; // a file where the folder should be: no one, root included, writes there
        Diagnostics broken(r.deviceId, r.board, r.network, r.validator, p);
        QSignalSpy failed(&broken, &Diagnostics::saveReportFinished);
        broken.saveReport();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed[0][0], QVariant(false));
        const QString message = failed[0][1].toString();
        QVERIFY2(message.startsWith("Could not save Test Report\nERROR: ") && message.size() > 35, qPrintable(message));
        QCOMPARE(QDir(r.root.path()).entryList(QDir::Files), QStringList { QFileInfo(fileName).fileName() });
    }

    void summaryAndQrCode()
    {
        Rig r;
        QSignalSpy ethernetChanged(&r.diag, &Diagnostics::ethernetChanged);
        r.m.transport->inject("vexa/network/ethernet/state", R"({"interface": "eth0", "stateStr": "Connected"})");
        QVERIFY(ethernetChanged.count() > 0);
        r.diag.setRgbTest(ERROR);
        r.diag.saveReport();
        // The code carries the saved report's date, not the time it is shown.
        r.diag.setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(9, 16)); });
        const QString summary = r.diag.summary(QDateTime(QDate(2024, 3, 1), QTime(9, 15)));
        QCOMPARE(summary.split(';').mid(8, 4), (QStringList { "", OK, OK, "" }));
        QCOMPARE(summary.split(';').size(), 35);
        QVERIFY(summary.startsWith("UNIT-0042;2024-03-01 09:15;SAM not present;"));
        QCOMPARE(r.diag.generateQr(),
            "data:image/svg," + QrCodeGenerator().generateSvgQr(summary, 1, qrcodegen::QrCode::Ecc::MEDIUM));
    }
};

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
