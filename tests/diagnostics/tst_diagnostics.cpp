#include "Board.h"
#include "Diagnostics.h"
#include "FakeTransport.h"
#include "LogCapture.h"
#include "Network.h"
#include "QrDecode.h"
#include "Validator.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

void addUsbDevice(const QString& root, const char* dir, const QByteArray& vendor, const QByteArray& product)
{
    const QString base = root + QLatin1String("/sys/bus/usb/devices/") + QLatin1String(dir);
    QDir().mkpath(base);
    if (!vendor.isNull())
        writeFile(base + QLatin1String("/idVendor"), vendor);
    if (!product.isNull())
        writeFile(base + QLatin1String("/idProduct"), product);
}

// A pseudo-terminal whose far end, optionally, sends back whatever it receives.
struct Pty
{
    int master = -1;
    int slave = -1;
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
                while (!stop) {
                    if (poll(&fd, 1, 20) > 0 && (fd.revents & POLLIN)) {
                        const ssize_t n = read(master, buf, sizeof buf);
                        if (n > 0 && write(master, buf, size_t(n)) != n)
                            break;
                    }
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
    void init();
    void cleanup();
    void usbAndSdCard();
    void serialLoopback();
    void portSelection_data();
    void portSelection();
    void ethernetFollowsEthernetState();
    void report();
    void reportNotSaved();
    void qrCarriesSummary();

private:
    Diagnostics::Paths paths() const
    {
        Diagnostics::Paths p = Diagnostics::Paths::underRoot(m_root->path());
        p.reportDir = m_root->path();
        return p;
    }

    QString m_deviceId;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<FakeMqtt> m_mqtt;
    std::unique_ptr<manager::Board> m_board;
    std::unique_ptr<manager::Network> m_network;
    std::unique_ptr<manager::Validator> m_validator;
    std::unique_ptr<Diagnostics> m_diag;
};

void TestDiagnostics::init()
{
    m_deviceId = QStringLiteral("UNIT-0042");
    m_root = std::make_unique<QTemporaryDir>();
    m_mqtt = std::make_unique<FakeMqtt>();
    m_board = std::make_unique<manager::Board>(m_mqtt->client, QStringLiteral("vexa/board"));
    m_network = std::make_unique<manager::Network>(m_mqtt->client, QStringLiteral("vexa/network"));
    m_validator = std::make_unique<manager::Validator>(m_mqtt->client, QStringLiteral("vexa/blm"));
    m_diag = std::make_unique<Diagnostics>(m_deviceId, *m_board, *m_network, *m_validator, paths());
    m_diag->setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(9, 15, 42)); });
}

void TestDiagnostics::cleanup()
{
    m_diag.reset();
    m_validator.reset();
    m_network.reset();
    m_board.reset();
    m_mqtt.reset();
    m_root.reset();
}

void TestDiagnostics::usbAndSdCard()
{
    const QString root = m_root->path();
    addUsbDevice(root, "1-1", "0451\n", "2077\n");
    addUsbDevice(root, "1-1.2", QByteArray(), QByteArray()); // any device, files unreadable
    addUsbDevice(root, "1-1.3", "0ab1", "0008"); // wrong product id
    addUsbDevice(root, "1-1.5", QByteArray(), "6015"); // vendor unreadable
    addUsbDevice(root, "1-1.7", " 222a ", QByteArray("0001\0junk", 9));
    writeFile(root + QLatin1String("/dev/mmcblk1p1"), QByteArray());

    LogCapture log(QStringLiteral("[Diagnostics] "));
    QSignalSpy rfidChanged(m_diag.get(), &Diagnostics::rfidUsbChanged);
    m_diag->start(0);
    QVERIFY(!m_diag->isRunning());
    QCOMPARE(m_diag->usbHub(), QStringLiteral("OK"));
    QCOMPARE(m_diag->mPCIe1(), QStringLiteral("OK"));
    QCOMPARE(m_diag->rfidUsb(), QStringLiteral("ERROR"));
    QCOMPARE(m_diag->usbHost(), QStringLiteral("MISSING"));
    QCOMPARE(m_diag->ftdi(), QStringLiteral("ERROR"));
    QCOMPARE(m_diag->barcodeUsb(), QStringLiteral("MISSING"));
    QCOMPARE(m_diag->touch(), QStringLiteral("OK"));
    QCOMPARE(m_diag->sdCard(), QStringLiteral("OK"));
    QVERIFY(log.has(QtCriticalMsg,
        QLatin1String("ERROR: Failed to open fle : ") + root + QLatin1String("/sys/bus/usb/devices/1-1.5/idVendor")));

    // The RFID reader replaced by the right one, the SD card pulled.
    writeFile(root + QLatin1String("/sys/bus/usb/devices/1-1.3/idProduct"), "0007");
    QFile::remove(root + QLatin1String("/dev/mmcblk1p1"));
    m_diag->start(0);
    QCOMPARE(m_diag->rfidUsb(), QStringLiteral("OK"));
    QCOMPARE(m_diag->sdCard(), QStringLiteral("MISSING"));
    QCOMPARE(rfidChanged.count(), 2);
    m_diag->start(0);
    QCOMPARE(rfidChanged.count(), 2);
}

void TestDiagnostics::serialLoopback()
{
    Pty echoing(true);
    Pty silent(false);
    QVERIFY(!echoing.path.isEmpty() && !silent.path.isEmpty());

    m_diag->check();
    QCOMPARE(m_diag->serialPortTest(), QStringLiteral("MISSING"));

    // The echo runs on another thread; on a busy machine it may miss one 50 ms window.
    m_diag->setSerialPort(echoing.path);
    for (int i = 0; i < 100 && m_diag->serialPortTest() != QLatin1String("OK"); ++i)
        m_diag->check();
    QCOMPARE(m_diag->serialPortTest(), QStringLiteral("OK"));

    m_diag->setSerialPort(silent.path);
    m_diag->check();
    QCOMPARE(m_diag->serialPortTest(), QStringLiteral("ERROR"));

    m_diag->setSerialPort(m_root->filePath(QStringLiteral("no-such-tty")));
    m_diag->check();
    QCOMPARE(m_diag->serialPortTest(), QStringLiteral("ERROR (Could not open)"));

    // The virtual port ends the list once it exists.
    QCOMPARE(m_diag->serialPorts().first(), QStringLiteral("NONE"));
    QVERIFY(!m_diag->serialPorts().last().endsWith(QLatin1String("/tmp/vcom")));
    writeFile(m_root->filePath(QStringLiteral("tmp/vcom")), QByteArray());
    QSignalSpy portsChanged(m_diag.get(), &Diagnostics::serialPortsChanged);
    m_diag->check();
    QCOMPARE(portsChanged.count(), 1);
    QCOMPARE(m_diag->serialPorts().last(), m_root->filePath(QStringLiteral("tmp/vcom")));
}

void TestDiagnostics::portSelection_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("selected");
    const QStringList withUsb { "NONE", "ttyS0", "ttyUSB0" };
    QTest::newRow("nothing chosen") << "NONE" << withUsb << "ttyUSB0";
    QTest::newRow("technician's choice kept") << "ttyS0" << withUsb << "ttyS0";
    QTest::newRow("chosen port gone") << "ttyACM0" << withUsb << "ttyUSB0";
    QTest::newRow("no ttyUSB0") << "NONE" << QStringList { "NONE", "ttyS0" } << "NONE";
}

void TestDiagnostics::portSelection()
{
    QFETCH(QString, chosen);
    QFETCH(QStringList, ports);
    QFETCH(QString, selected);
    QCOMPARE(Diagnostics::autoSelectedPort(chosen, ports), selected);
}

void TestDiagnostics::ethernetFollowsEthernetState()
{
    QSignalSpy changed(m_diag.get(), &Diagnostics::ethernetChanged);
    QCOMPARE(m_diag->ethernet(), QStringLiteral("ERROR"));
    m_mqtt->transport->inject(
        QStringLiteral("vexa/network/ethernet/state"), R"({"interface": "eth0", "stateStr": "Connected"})");
    QVERIFY(changed.count() >= 1);
    QCOMPARE(m_diag->ethernet(), QStringLiteral("OK"));
}

void TestDiagnostics::report()
{
    m_deviceId = QStringLiteral("SERIAL-NUMBER-LONGER-THAN-THE-FIELD-0042");
    QSignalSpy finished(m_diag.get(), &Diagnostics::saveReportFinished);
    const QString fileName = m_root->path() + QLatin1String("/TestReport_20240301_0915.txt");

    m_diag->saveReport();
    m_diag->setBuzzer(QStringLiteral("OK"));
    m_diag->saveReport(); // same minute: the same file, rewritten
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.last(),
        (QVariantList { true, QString(QLatin1String("Test report saved successfully:\n") + fileName) }));
    QCOMPARE(QDir(m_root->path()).entryList(QDir::Files), QStringList { QFileInfo(fileName).fileName() });

    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(!text.endsWith(QLatin1Char('\n')));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 37);
    QCOMPARE(lines[3], QLatin1String(" Device UID       ") + m_deviceId);
    QCOMPARE(lines[4], QLatin1String(" Date             ") + QString(19, QLatin1Char(' ')) + "2024-03-01 09:15");
    QCOMPARE(lines[27], QLatin1String(" Buzzer           ") + QString(33, QLatin1Char(' ')) + "OK");
    QCOMPARE(lines[32], QLatin1String(" Barocde Manager  ") + QString(30, QLatin1Char(' ')) + "ERROR");
    for (int i = 0; i < lines.size(); ++i)
        if (i != 3)
            QVERIFY2(lines[i].size() == 53 || i == 1, qPrintable(lines[i]));
}

void TestDiagnostics::reportNotSaved()
{
    // A regular file where the folder should be: no one, root included, can write there.
    const QString notADir = m_root->filePath(QStringLiteral("reports"));
    writeFile(notADir, "x");
    Diagnostics::Paths p = paths();
    p.reportDir = notADir;
    Diagnostics diag(m_deviceId, *m_board, *m_network, *m_validator, p);
    LogCapture log(QStringLiteral("[Diagnostics] "));
    QSignalSpy finished(&diag, &Diagnostics::saveReportFinished);
    diag.saveReport();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().at(0).toBool(), false);
    const QString message = finished.first().at(1).toString();
    QVERIFY2(message.startsWith(QLatin1String("Could not save Test Report\nERROR: ")) && message.size() > 35,
        qPrintable(message));
    QCOMPARE(log.lines(QtCriticalMsg).size(), 1);
    QCOMPARE(QDir(m_root->path()).entryList(QDir::Files), QStringList { QStringLiteral("reports") });
}

void TestDiagnostics::qrCarriesSummary()
{
    m_diag->check();
    m_diag->setBuzzer(QStringLiteral("OK"));
    m_diag->setRgbTest(QStringLiteral("ERROR"));
    m_diag->saveReport();
    // A later clock must not change the date the code carries: it is the saved report's.
    m_diag->setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(9, 16)); });
    const QString url = m_diag->generateQr();
    QVERIFY(url.startsWith(QLatin1String("data:image/svg,<?xml")));
    const QString summary = m_diag->summary(QDateTime(QDate(2024, 3, 1), QTime(9, 15)));
    QCOMPARE(summary.split(QLatin1Char(';')).size(), 35);
    QVERIFY(summary.startsWith(QLatin1String("UNIT-0042;2024-03-01 09:15;SAM not present;")));
    SCAN_OR_SKIP(scanned, url.mid(15));
    QCOMPARE(scanned, summary);
}

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
