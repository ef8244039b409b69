#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

namespace {

struct Run {
    QStringList err;    // standard error, one entry per line
    QStringList syslog; // "<priority> <text>"
    QProcess::ExitStatus status = QProcess::NormalExit;
    int code = -1;
    double seconds = 0; // wall time of the whole child run, seen from here
};

Run runChild(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Either would override what the logger sets.
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    p.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral(LOGGER_CHILD), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    r.seconds = clock.elapsed() / 1000.0;
    r.status = p.exitStatus();
    r.code = p.exitCode();
    const QString err = QString::fromUtf8(p.readAllStandardError());
    r.err = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // qemu-user adds a line of its own when an emulated child dies of a signal.
    r.err.erase(std::remove_if(r.err.begin(), r.err.end(),
                               [](const QString& l) { return l.startsWith(QLatin1String("qemu: uncaught target signal")); }),
                r.err.end());
    const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : out)
        if (line.startsWith(QLatin1String("SYSLOG ")))
            r.syslog << line.mid(7);
    return r;
}

// "[%9.03f] " then the text: returns the text and the stamp, or a null text.
QString stripStamp(const QString& line, double* stamp = nullptr)
{
    static const QRegularExpression re(QStringLiteral("^\\[( *\\d+\\.\\d{3})\\] (.*)$"),
                                       QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(line);
    if (!m.hasMatch() || m.captured(1).size() != 9)
        return QString();
    if (stamp)
        *stamp = m.captured(1).toDouble();
    return m.captured(2);
}

QStringList texts(const QStringList& lines)
{
    QStringList result;
    for (const QString& l : lines)
        result << stripStamp(l);
    return result;
}

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    void stderrAndSyslogFormats();
    void levelFilter_data();
    void levelFilter();
    void colourPattern();
    void outputsSwitchOff();
    void fatalAborts();
    void stampCountsFromCreation();
};

void TestLogger::stderrAndSyslogFormats()
{
    const Run r = runChild({QStringLiteral("level=3"), QStringLiteral("stderr=1"), QStringLiteral("debug=d 1"),
                            QStringLiteral("info=i 2"), QStringLiteral("warning=w 3"),
                            QStringLiteral("critical=c 4")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err.size(), 4);
    for (const QString& line : r.err) {
        double stamp = -1;
        QVERIFY2(!stripStamp(line, &stamp).isNull(), qPrintable(line));
        QVERIFY(stamp >= 0 && stamp < r.seconds + 1);
        // Four blanks before a stamp under ten seconds: "[    0.002] ".
        QVERIFY2(line.startsWith(QLatin1String("[    ")), qPrintable(line));
    }
    QCOMPARE(texts(r.err), (QStringList{QStringLiteral("d 1"), QStringLiteral("i 2"), QStringLiteral("w 3"),
                                         QStringLiteral("c 4")}));

    // Syslog: priority per type and the type word, with the same stamp.
    QCOMPARE(r.syslog.size(), 4);
    const QStringList expected{QStringLiteral("7 [debug] d 1"), QStringLiteral("6 i 2"),
                               QStringLiteral("4 [warning] w 3"), QStringLiteral("2 [error] c 4")};
    for (int i = 0; i < 4; ++i) {
        const QString line = r.syslog.at(i);
        const QString priority = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.mid(priority.size() + 1);
        QCOMPARE(priority + QLatin1Char(' ') + stripStamp(rest), expected.at(i));
        QCOMPARE(rest.left(11), r.err.at(i).left(11));
    }
}

void TestLogger::levelFilter_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QStringList>("passed");
    const QString crit = QStringLiteral("critical");
    const QString warn = QStringLiteral("warning");
    const QString info = QStringLiteral("info");
    const QString debug = QStringLiteral("debug");
    const QString catdebug = QStringLiteral("catdebug");
    const QString qtdebug = QStringLiteral("qtdebug");
    QTest::newRow("0 errors") << "0" << QStringList{crit};
    QTest::newRow("1 warnings") << "1" << QStringList{warn, crit};
    QTest::newRow("2 info") << "2" << QStringList{info, warn, crit};
    QTest::newRow("3 debug") << "3" << QStringList{debug, info, warn, crit, catdebug};
    QTest::newRow("4 trace") << "4" << QStringList{debug, info, warn, crit, catdebug, qtdebug};
    QTest::newRow("7 means info") << "7" << QStringList{info, warn, crit};
    QTest::newRow("-1 means info") << "-1" << QStringList{info, warn, crit};
    // Level 2 is what a freshly created logger uses.
    QTest::newRow("default") << QString() << QStringList{info, warn, crit};
}

void TestLogger::levelFilter()
{
    QFETCH(QString, level);
    QFETCH(QStringList, passed);
    QStringList args{QStringLiteral("create")};
    if (!level.isNull())
        args << QStringLiteral("level=") + level;
    args << QStringLiteral("stderr=1");
    for (const char* kind : {"debug", "info", "warning", "critical", "catdebug", "qtdebug"})
        args << QString::fromLatin1(kind) + QLatin1Char('=') + QString::fromLatin1(kind);
    const Run r = runChild(args);
    QCOMPARE(r.code, 0);
    QStringList seen = texts(r.err);
    // A category other than the default one keeps no prefix in the plain pattern.
    QCOMPARE(seen, passed);
    QCOMPARE(r.syslog.size(), passed.size());
}

void TestLogger::colourPattern()
{
    const Run r = runChild({QStringLiteral("level=3"), QStringLiteral("color=1"), QStringLiteral("stderr=1"),
                            QStringLiteral("info=i"), QStringLiteral("warning=w"), QStringLiteral("debug=d"),
                            QStringLiteral("critical=c"), QStringLiteral("catwarning=cw"),
                            QStringLiteral("color=0"), QStringLiteral("warning=plain")});
    QCOMPARE(r.code, 0);
    QCOMPARE(texts(r.err),
             (QStringList{QStringLiteral("i"), QStringLiteral("\33[33mw\33[39m"), QStringLiteral("\33[35md\33[39m"),
                          QStringLiteral("\33[31mc\33[39m"), QStringLiteral("[ticora.test] \33[33mcw\33[39m"),
                          QStringLiteral("plain")}));
    // Syslog gets the same coloured text.
    QCOMPARE(r.syslog.size(), 6);
    QVERIFY2(r.syslog.at(1).endsWith(QLatin1String("[warning] \33[33mw\33[39m")), qPrintable(r.syslog.at(1)));
}

void TestLogger::outputsSwitchOff()
{
    const Run r = runChild({QStringLiteral("stderr=1"), QStringLiteral("info=both"), QStringLiteral("syslog=0"),
                            QStringLiteral("info=stderr only"), QStringLiteral("stderr=0"),
                            QStringLiteral("info=nowhere"), QStringLiteral("syslog=1"),
                            QStringLiteral("info=syslog only")});
    QCOMPARE(r.code, 0);
    QCOMPARE(texts(r.err), (QStringList{QStringLiteral("both"), QStringLiteral("stderr only")}));
    QCOMPARE(r.syslog.size(), 2);
    QVERIFY(r.syslog.at(0).endsWith(QLatin1String("] both")));
    QVERIFY(r.syslog.at(1).endsWith(QLatin1String("] syslog only")));
}

void TestLogger::fatalAborts()
{
    Run r = runChild({QStringLiteral("stderr=1"), QStringLiteral("fatal=boom"), QStringLiteral("info=after")});
    QCOMPARE(r.status, QProcess::CrashExit);
    QCOMPARE(r.err.size(), 1);
    // The plain pattern puts the source location (known only where the build keeps
    // it) and the process, thread and QThread ids before a fatal message.
    const QString text = stripStamp(r.err.at(0));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\S+ at \\S+:\\d+ \\(\\d+:\\d+:0x[0-9a-f]+\\) - boom$"))
                 .match(text)
                 .hasMatch(),
             qPrintable(text));
    QCOMPARE(r.syslog.size(), 1);
    QVERIFY(r.syslog.at(0).startsWith(QLatin1String("3 [")));
    QVERIFY(r.syslog.at(0).contains(QLatin1String("] [fatal] ")));

    r = runChild({QStringLiteral("stderr=0"), QStringLiteral("syslog=0"), QStringLiteral("fatal=boom"),
                  QStringLiteral("info=after")});
    QCOMPARE(r.status, QProcess::CrashExit);
    QVERIFY(r.err.isEmpty());
    QVERIFY(r.syslog.isEmpty());
}

void TestLogger::stampCountsFromCreation()
{
    // One second passes before the logger exists and one between the messages.
    const Run r = runChild({QStringLiteral("wait=1000"), QStringLiteral("stderr=1"), QStringLiteral("info=a"),
                            QStringLiteral("wait=1000"), QStringLiteral("info=b")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err.size(), 2);
    double a = -1, b = -1;
    QCOMPARE(stripStamp(r.err.at(0), &a), QStringLiteral("a"));
    QCOMPARE(stripStamp(r.err.at(1), &b), QStringLiteral("b"));
    // Counted from the process start, "a" would be past the first second.
    QVERIFY2(a >= 0 && a <= r.seconds - 1.0, qPrintable(QString::number(a)));
    QVERIFY2(b - a >= 0.99, qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
