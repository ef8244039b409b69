#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A loopback port with nothing behind it, so the program's connection attempts
// fail at once and reach no one's broker.
quint16 unusedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

const QString kLastPrintLine = QStringLiteral("[Config]  topics/network       : vexa/network");

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void helpAndVersion_data();
    void helpAndVersion();
    void badCommandLine_data();
    void badCommandLine();
    void loggingOptionsInOrder();
    void unparsableVerboseIgnored();
    void brokerOptionsAndSecretPassword();
    void defaultSettingsFileInWorkingDir();

private:
    // Starts the program in the temporary folder with the given arguments.
    QProcess* start(const QStringList& args, bool display = true);
    // Runs it to its end (options that end it during set-up).
    int runToEnd(const QStringList& args, bool display = true);
    // Lets it run until it has printed its configuration (and `also`, when
    // given), then stops it.
    void runUntilPrinted(const QStringList& args, const QString& also = QString());
    QString out() const { return m_out; }
    QString err() const { return m_err; }
    QStringList errLines() const { return m_err.split(QLatin1Char('\n')); }

    QScopedPointer<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_out;
    QString m_err;
    QString m_mqttArgs;
};

void TestCommandLine::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_out.clear();
    m_err.clear();
}

void TestCommandLine::cleanup()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(30000);
    }
    m_process.reset();
}

QProcess* TestCommandLine::start(const QStringList& args, bool display)
{
    m_process.reset(new QProcess);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!display) {
        // As in an SSH session on a unit: Qt would try a window system and fail.
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
    }
    m_process->setProcessEnvironment(env);
    m_process->setWorkingDirectory(m_dir->path());
    QObject::connect(m_process.get(), &QProcess::readyReadStandardOutput, this,
                     [this]() { m_out += QString::fromUtf8(m_process->readAllStandardOutput()); });
    QObject::connect(m_process.get(), &QProcess::readyReadStandardError, this,
                     [this]() { m_err += QString::fromUtf8(m_process->readAllStandardError()); });
    m_process->start(QStringLiteral(TICORA_BIN), args);
    return m_process.get();
}

int TestCommandLine::runToEnd(const QStringList& args, bool display)
{
    QProcess* p = start(args, display);
    if (!p->waitForFinished(60000))
        return -1;
    m_out += QString::fromUtf8(p->readAllStandardOutput());
    m_err += QString::fromUtf8(p->readAllStandardError());
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -2;
}

void TestCommandLine::runUntilPrinted(const QStringList& args, const QString& also)
{
    QProcess* p = start(args);
    QTRY_VERIFY_WITH_TIMEOUT(
        (m_err.contains(kLastPrintLine) && m_err.contains(also)) || p->state() == QProcess::NotRunning, 60000);
    // It keeps running: only an exit request (not yet possible here) ends it.
    QCOMPARE(p->state(), QProcess::Running);
    p->kill();
    p->waitForFinished(30000);
    m_out += QString::fromUtf8(p->readAllStandardOutput());
    m_err += QString::fromUtf8(p->readAllStandardError());
}

void TestCommandLine::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("display");
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << true << true;
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << true << true;
    QTest::newRow("-V") << QStringList{QStringLiteral("-V")} << false << true;
    QTest::newRow("--version -e") << QStringList{QStringLiteral("--version"), QStringLiteral("-e")} << false << true;
    QTest::newRow("help wins") << QStringList{QStringLiteral("-V"), QStringLiteral("-h")} << true << true;
    QTest::newRow("combined -Vh") << QStringList{QStringLiteral("-Vh")} << true << true;
    QTest::newRow("--version, no display") << QStringList{QStringLiteral("--version")} << false << false;
    QTest::newRow("--help, no display") << QStringList{QStringLiteral("--help")} << true << false;
    QTest::newRow("Qt's own option") << QStringList{QStringLiteral("-platform"), QStringLiteral("minimal"), QStringLiteral("-V")} << false << false;
}

void TestCommandLine::helpAndVersion()
{
    QFETCH(QStringList, args);
    QFETCH(bool, help);
    QFETCH(bool, display);
    QCOMPARE(runToEnd(args + QStringList{QStringLiteral("-f"), QStringLiteral("x.conf")}, display), 0);
    if (help) {
        for (const char* line :
             {"-h, --help", "Print help and exit", "-V, --version", "Print version and exit",
              "-v, --verbose <level>", "Set log level: 0=err, 1=warn, 2=info(dfl), 3=dbg", "-e, --stderr",
              "Print messages to stderr, not just syslog", "-c, --color", "Print messages in color.",
              "-f, --config <filename>", "Set configuration file", "-H, --host <hostname>", "Set mqtt broker url",
              "-P, --port <port>", "Set mqtt broker port", "-u, --username <username>", "Set mqtt username",
              "-p, --password <password>", "Set mqtt password"})
            QVERIFY2(out().contains(QString::fromLatin1(line)), line);
        QVERIFY(!out().contains(QStringLiteral("1.0.21")));
    } else {
        QCOMPARE(out(), QStringLiteral("Ticora 1.0.21\n"));
    }
    // Ends before the settings file is touched.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("x.conf"))));
}

void TestCommandLine::badCommandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown long") << QStringList{QStringLiteral("--bogus")} << "ERROR: Unknown option 'bogus'.";
    QTest::newRow("unknown short") << QStringList{QStringLiteral("-e"), QStringLiteral("-x")} << "ERROR: Unknown option 'x'.";
    QTest::newRow("missing value") << QStringList{QStringLiteral("-f")} << "ERROR: Missing value after '-f'.";
    QTest::newRow("no display") << QStringList{QStringLiteral("-platform"), QStringLiteral("minimal"), QStringLiteral("--bogus")} << "ERROR: Unknown option 'bogus'.";
}

void TestCommandLine::badCommandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QCOMPARE(runToEnd(args, !QByteArray(QTest::currentDataTag()).startsWith("no display")), 1);
    QVERIFY2(errLines().contains(error), qPrintable(err()));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("gui.conf"))));
}

void TestCommandLine::loggingOptionsInOrder()
{
    const QString port = QString::number(unusedPort());
    // Given in another order than they are examined.
    runUntilPrinted({QStringLiteral("-f"), QStringLiteral("new.conf"), QStringLiteral("-P"), port, QStringLiteral("-c"),
                     QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-e"), QStringLiteral("-v"),
                     QStringLiteral("3")},
                    // The debug lines (magenta) come after the printed configuration, on a slow
                    // machine well after it.
                    QStringLiteral("\33[35m"));
    const QStringList lines = errLines();
    const QStringList expected{QStringLiteral("Setting Log level : 3"),
                               QStringLiteral("Log to stderr overridden from user to true"),
                               QStringLiteral("Log with color overridden from user to true"),
                               QStringLiteral("Setting MQTT Host : 127.0.0.1"),
                               QStringLiteral("Setting MQTT Port : ") + port,
                               QStringLiteral("Using configuration file : new.conf"),
                               QStringLiteral("[Config] Creating default config file : new.conf")};
    int at = -1;
    for (const QString& line : expected) {
        const int next = lines.indexOf(line);
        QVERIFY2(next > at, qPrintable(line + QStringLiteral("\n---\n") + err()));
        at = next;
    }

    // The file holds the defaults, never the overrides.
    const QString file = m_dir->filePath(QStringLiteral("new.conf"));
    QVERIFY(QFileInfo::exists(file));
    QSettings settings(file, QSettings::IniFormat);
    QCOMPARE(settings.allKeys().size(), 25);
    QCOMPARE(settings.value(QStringLiteral("log/level")).toString(), QStringLiteral("2"));
    QCOMPARE(settings.value(QStringLiteral("log/color")).toString(), QStringLiteral("false"));
    QCOMPARE(settings.value(QStringLiteral("mqtt/host")).toString(), QStringLiteral("localhost"));
    QCOMPARE(settings.value(QStringLiteral("mqtt/port")).toString(), QStringLiteral("1883"));

    // The printed configuration shows the overrides, through the logger: stamped and coloured.
    QVERIFY(err().contains(QStringLiteral("] [Config]  log/level            : 3\n")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  log/color            : true\n")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  mqtt/port            : ") + port + QLatin1Char('\n')));
    QVERIFY(err().contains(QStringLiteral("\33[35m"))); // debug lines pass at level 3, in magenta
}

void TestCommandLine::unparsableVerboseIgnored()
{
    runUntilPrinted({QStringLiteral("-v"), QStringLiteral("x"), QStringLiteral("-P"), QStringLiteral("abc"),
                     QStringLiteral("-H"), QStringLiteral("127.0.0.1")});
    QVERIFY(!err().contains(QStringLiteral("Setting Log level")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  log/level            : 2\n")));
    QVERIFY(errLines().contains(QStringLiteral("Setting MQTT Port : abc")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  mqtt/port            : 0\n")));
}

void TestCommandLine::brokerOptionsAndSecretPassword()
{
    const QString secret = QStringLiteral("S3cr3t-Pa55");
    const QString port = QString::number(unusedPort());
    runUntilPrinted({QStringLiteral("-e"), QStringLiteral("-v"), QStringLiteral("4"), QStringLiteral("--host=127.0.0.1"),
                     QStringLiteral("--port"), port, QStringLiteral("-u"), QStringLiteral("operator"),
                     QStringLiteral("--password=") + secret});
    QVERIFY(errLines().contains(QStringLiteral("Setting MQTT User : operator")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  mqtt/username        : operator\n")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  mqtt/host            : 127.0.0.1\n")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  mqtt/password        : ********\n")));
    QVERIFY(!err().contains(secret));
    QVERIFY(!out().contains(secret));
    QFile file(m_dir->filePath(QStringLiteral("gui.conf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains(secret.toUtf8()));
}

void TestCommandLine::defaultSettingsFileInWorkingDir()
{
    // No arguments: "gui.conf" in the working folder decides everything.
    const QString port = QString::number(unusedPort());
    QFile file(m_dir->filePath(QStringLiteral("gui.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[mqtt]\nhost=127.0.0.1\nport=%1\n[gui]\nlocale=en_US\n").arg(port).toUtf8());
    file.close();
    runUntilPrinted({});
    QVERIFY(!err().contains(QStringLiteral("Creating default config file")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  SETTINGS (gui.conf)\n")));
    QVERIFY(err().contains(QStringLiteral("] [Config]  mqtt/port            : ") + port + QLatin1Char('\n')));
    QVERIFY(err().contains(QStringLiteral("] [Config]  gui/locale           : en_US\n")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
