#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GUIManager.h"
#include "LogCapture.h"

#include <QDir>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

struct Row
{
    QString name;
    QDateTime timestamp;
};

QStringList namesOf(const QList<QObject*>& objects)
{
    QStringList out;
    for (const QObject* o : objects)
        out << static_cast<const Event*>(o)->name();
    return out;
}

QStringList namesOf(const QList<Event*>& events) { return namesOf(QList<QObject*>(events.begin(), events.end())); }

} // namespace

class TestEventManager : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Config> m_config;
    QString m_path;
    int m_fileNo = 0;

    // Writes an event file the way the settings class does, plus a section that only
    // survives as long as the file is not rewritten.
    void writeFile(const QList<Row>& rows)
    {
        QSettings file(m_path, QSettings::IniFormat);
        file.beginWriteArray("events", rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            file.setArrayIndex(i);
            file.setValue("category", "General");
            file.setValue("name", rows.at(i).name);
            file.setValue("desc", "line one\nline two");
            file.setValue("timestamp", rows.at(i).timestamp);
        }
        file.endArray();
        file.setValue("marker/untouched", true);
    }
    void writeRaw(const QByteArray& text)
    {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray readRaw() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool rewritten() const { return !readRaw().contains("untouched"); }
    // Names in the file, read through a fresh copy so no cached state can answer.
    QStringList namesInFile()
    {
        const QString copy = m_dir.filePath(QStringLiteral("readback%1.ini").arg(++m_fileNo));
        QFile::copy(m_path, copy);
        QSettings file(copy, QSettings::IniFormat);
        QStringList out;
        const int n = file.beginReadArray("events");
        for (int i = 0; i < n; ++i) {
            file.setArrayIndex(i);
            out << file.value("name").toString();
        }
        file.endArray();
        return out;
    }
    static QList<Row> recent(int count, const QString& prefix = QStringLiteral("e"))
    {
        QList<Row> rows;
        const QDateTime start = QDateTime::currentDateTime().addDays(-1);
        for (int i = 0; i < count; ++i)
            rows << Row { prefix + QString::number(i), start.addSecs(i) };
        return rows;
    }
    std::unique_ptr<EventManager> open() { return std::make_unique<EventManager>(*m_config, m_path); }
    static Event* event(const QString& name, const QDateTime& when)
    {
        return new Event(QStringLiteral("General"), name, QString(), when);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("events%1.ini").arg(++m_fileNo));
        m_config = std::make_unique<Config>(m_dir.filePath("gui.conf"), GUIManager::Defaults);
    }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void loadsOnlyTheLastThousand()
    {
        writeFile(recent(1500));
        LogCapture log;
        auto m = open();
        QVERIFY(log.has(QtInfoMsg, "[EventManager] Loading saved events : from=500 to=1500"));
        QCOMPARE(m->events().size(), 1000);
        QCOMPARE(m->events().first()->name(), QString("e500"));
        QCOMPARE(m->events().first()->description(), QString("line one\nline two"));
        QCOMPARE(m->data().size(), 1000);
        QCOMPARE(static_cast<Event*>(m->data().first())->name(), QString("e1499"));
        QVERIFY(!rewritten());

        m->push(event("new", QDateTime::currentDateTime()));
        const QStringList names = namesInFile();
        QCOMPARE(names.size(), 1001);
        QCOMPARE(names.first(), QString("e500"));
        QCOMPARE(names.last(), QString("new"));
    }

    void startupPrunesOlderThanThirtyDays()
    {
        const QDateTime now = QDateTime::currentDateTime();
        writeFile({ { "old", now.addDays(-31) }, { "young", now.addDays(-29) } });
        LogCapture log;
        const QDateTime before = now.addDays(-30).addSecs(-1);
        auto m = open();
        const QDateTime after = QDateTime::currentDateTime().addDays(-30).addSecs(1);
        QCOMPARE(namesOf(m->events()), QStringList { "young" });
        QCOMPARE(namesInFile(), QStringList { "young" });
        QVERIFY(rewritten());

        const QStringList deleted = log.texts("[EventManager] Deleted ");
        QCOMPARE(deleted.size(), 1);
        const QString prefix = "[EventManager] Deleted 1 event(s) older than ";
        QVERIFY(deleted.first().startsWith(prefix));
        const QDateTime cutoff = QDateTime::fromString(deleted.first().mid(prefix.size()), "yyyy-MM-dd hh:mm:ss");
        QVERIFY(cutoff >= before && cutoff <= after);
    }

    void startupWithoutOldEntriesDoesNotRewrite()
    {
        writeFile(recent(2));
        LogCapture log;
        auto m = open();
        QCOMPARE(log.texts("[EventManager] Deleted ").size(), 1);
        QVERIFY(
            log.texts("[EventManager] Deleted ").first().startsWith("[EventManager] Deleted 0 event(s) older than "));
        QVERIFY(!rewritten());
        QCOMPARE(m->events().size(), 2);
    }

    void capacityStaysAt1001()
    {
        writeFile(recent(1000));
        auto m = open();
        QPointer<Event> oldest = m->events().first();
        m->push(event("p1", QDateTime::currentDateTime()));
        QCOMPARE(m->events().size(), 1001);
        QCOMPARE(m->events().first()->name(), QString("e0"));

        m->push(event("p2", QDateTime::currentDateTime()));
        QCOMPARE(m->events().size(), 1001);
        QCOMPARE(m->events().first()->name(), QString("e1"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(oldest.isNull());
        const QStringList names = namesInFile();
        QCOMPARE(names.size(), 1001);
        QCOMPARE(names.first(), QString("e1"));
        QCOMPARE(names.mid(999), (QStringList { "p1", "p2" }));
    }

    // The log writes its file itself, entry by entry; it must come out byte for byte as
    // the settings class writes it, or stored files would read back differently.
    void fileIsWrittenAsTheSettingsClassWritesIt()
    {
        const QDateTime local = QDateTime::currentDateTime();
        const QList<Event*> entries {
            new Event("General", "plain", "", local),
            new Event("@at", "quote \" back\\slash", "line one\nline two\r\t\a\b\f\v", local.toUTC()),
            new Event(" lead", "trail ", "a;b,c=d", local.toOffsetFromUtc(5400)),
            new Event(QString::fromUtf8("Gr\u00fc\u00dfe \u03b1\u03b2 \u20ac1f"),
                QString("nul") + QChar(0) + "0f" + QChar(1) + "b", QString("@@twice") + QChar(0x7f) + "9", QDateTime()),
            new Event("", "\"quoted\"", " ", local.addSecs(-1)),
        };
        auto m = open();
        for (int i = 0; i < 12; ++i) // keys 1 to 12 cross the settings class's text order
            m->push(i < entries.size() ? entries.at(i) : new Event("Board", QString::number(i), "", local.addSecs(i)));

        const QString expected = m_dir.filePath("expected.ini");
        {
            QSettings out(expected, QSettings::IniFormat);
            out.beginWriteArray("events", m->events().size());
            for (int i = 0; i < m->events().size(); ++i) {
                const Event* e = m->events().at(i);
                out.setArrayIndex(i);
                out.setValue("category", e->category());
                out.setValue("name", e->name());
                out.setValue("desc", e->description());
                out.setValue("timestamp", e->timestamp());
            }
            out.endArray();
        }
        QFile f(expected);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(readRaw(), f.readAll());

        auto again = open();
        QCOMPARE(again->events().size(), 12);
        for (int i = 0; i < 12; ++i) {
            const Event* a = m->events().at(i);
            const Event* b = again->events().at(i);
            QCOMPARE(b->category(), a->category());
            QCOMPARE(b->name(), a->name());
            QCOMPARE(b->description(), a->description());
            QCOMPARE(b->timestamp(), a->timestamp());
        }
    }

    void nameFilterIgnoresCase()
    {
        auto m = open();
        const QDateTime now = QDateTime::currentDateTime();
        m->push(event("Ignition on", now.addSecs(-30)));
        m->push(event("Application started", now.addSecs(-20)));
        m->push(event("Ignition off", now.addSecs(-10)));
        LogCapture log;
        QSignalSpy changed(m.get(), &EventManager::dataChanged);
        m->applyFilter(QStringLiteral("ignition"));
        QCOMPARE(namesOf(m->data()), (QStringList { "Ignition off", "Ignition on" }));
        QCOMPARE(log.texts(), QStringList { "[EventManager] Filtering : name=ignition" });
        m->applyFilter(QStringLiteral("IGNITION ON"));
        QCOMPARE(namesOf(m->data()), QStringList { "Ignition on" });
        m->applyFilter(QString());
        QCOMPARE(namesOf(m->data()), (QStringList { "Ignition off", "Application started", "Ignition on" }));
        QCOMPARE(changed.size(), 3);
    }

    void periods_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("last hour") << "Last hour" << QStringList { "09:00", "09:30" };
        QTest::newRow("last 2 hours") << "Last 2 hours" << QStringList { "08:00", "09:00", "09:30" };
        QTest::newRow("last 5 hours") << "Last 5 hours" << QStringList { "05:00", "08:00", "09:00", "09:30" };
        const QStringList today { "00:00", "05:00", "08:00", "09:00", "09:30", "23:59:59" };
        QTest::newRow("today") << "Today" << today;
        QTest::newRow("yesterday") << "Yesterday" << QStringList { "yesterday 00:00", "yesterday 23:59:59" };
        const QStringList week = QStringList { "week start", "yesterday 00:00", "yesterday 23:59:59",
            "yesterday 23:59:59.500", "00:00", "05:00", "08:00", "09:00", "09:30" };
        QTest::newRow("last week") << "Last week" << week;
        QTest::newRow("last month") << "Last month" << (QStringList { "month start", "before week" } + week);
        QTest::newRow("all history") << "All history" << QStringList();
        QTest::newRow("names are exact") << "today" << QStringList();
    }
    void periods()
    {
        QFETCH(QString, period);
        QFETCH(QStringList, shown);
        auto m = open();
        const QDate today(2026, 3, 15);
        const QDateTime now(today, QTime(10, 0));
        m->setClock([now] { return now; });
        const QList<Row> rows {
            { "before month", QDateTime(QDate(2026, 2, 15), QTime(0, 0)).addMSecs(-1) },
            { "month start", QDateTime(QDate(2026, 2, 15), QTime(0, 0)) },
            { "before week", QDateTime(QDate(2026, 3, 8), QTime(0, 0)).addMSecs(-1) },
            { "week start", QDateTime(QDate(2026, 3, 8), QTime(0, 0)) },
            { "yesterday 00:00", QDateTime(today.addDays(-1), QTime(0, 0)) },
            { "yesterday 23:59:59", QDateTime(today.addDays(-1), QTime(23, 59, 59)) },
            { "yesterday 23:59:59.500", QDateTime(today.addDays(-1), QTime(23, 59, 59, 500)) },
            { "00:00", QDateTime(today, QTime(0, 0)) },
            { "05:00", now.addSecs(-18000) },
            { "08:00", now.addSecs(-7200) },
            { "09:00", now.addSecs(-3600) },
            { "09:30", now.addSecs(-1800) },
            { "23:59:59", QDateTime(today, QTime(23, 59, 59)) },
            { "23:59:59.500", QDateTime(today, QTime(23, 59, 59, 500)) },
        };
        for (const Row& r : rows)
            m->push(event(r.name, r.timestamp));
        m->applyFilterPeriod("Today"); // a different range first, so clearing it is seen
        LogCapture log;
        m->applyFilterPeriod(period);

        QStringList expected = shown;
        if (expected.isEmpty()) {
            for (const Row& r : rows)
                expected << r.name;
            QVERIFY(!m->rangeStart().isValid() && !m->rangeEnd().isValid());
        }
        std::reverse(expected.begin(), expected.end()); // newest first
        QCOMPARE(namesOf(m->data()), expected);
        QCOMPARE(log.texts().size(), 2);
        QCOMPARE(log.texts().first(), "[EventManager] Filtering (period) : " + period);
        QCOMPARE(log.texts().last(),
            "[EventManager] Filtering : from=" + m->rangeStart().toString() + " to=" + m->rangeEnd().toString());
    }

    void pushedEntryOutsideRangeIsStoredButHidden()
    {
        auto m = open();
        m->applyFilterPeriod("Last hour");
        m->push(event("old", QDateTime::currentDateTime().addDays(-3)));
        QVERIFY(m->data().isEmpty());
        QCOMPARE(namesOf(m->events()), QStringList { "old" });
        QCOMPARE(namesInFile(), QStringList { "old" });
        m->applyFilterPeriod("All history");
        QCOMPARE(namesOf(m->data()), QStringList { "old" });
    }

    void clearAll()
    {
        auto m = open();
        QSignalSpy changed(m.get(), &EventManager::dataChanged);
        m->clear();
        QCOMPARE(changed.size(), 0);
        QVERIFY(!QFile::exists(m_path));

        m->push(event("a", QDateTime::currentDateTime()));
        m->clear();
        QVERIFY(m->data().isEmpty());
        QVERIFY(namesInFile().isEmpty());
        QCOMPARE(changed.size(), 2);
    }

    void qmlSeesTheVisibleList()
    {
        auto m = open();
        const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5));
        m->push(event("first", when));
        QQmlEngine engine;
        engine.rootContext()->setContextProperty("eventLogManager", m.get());
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.15\n"
                          "Instantiator {\n"
                          "  model: eventLogManager.data\n"
                          "  delegate: QtObject { property string n: modelData.name;"
                          " property var t: modelData.timestamp;"
                          " property string d: modelData.description }\n"
                          "}\n",
            QUrl());
        std::unique_ptr<QObject> list(component.create());
        QVERIFY2(list, qPrintable(component.errorString()));
        QCOMPARE(list->property("count").toInt(), 1);
        m->push(event("second", when.addSecs(1)));
        QCOMPARE(list->property("count").toInt(), 2);
        QObject* top = nullptr;
        QMetaObject::invokeMethod(list.get(), "objectAt", Q_RETURN_ARG(QObject*, top), Q_ARG(int, 0));
        QVERIFY(top);
        QCOMPARE(top->property("n").toString(), QString("second"));
        QCOMPARE(top->property("t").toDateTime(), when.addSecs(1));
    }

    // Damaged files: nothing crashes, every readable entry is kept, the next save is clean.
    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("loaded");
        QTest::newRow("size larger than present")
            << QByteArray("[events]\nsize=500\n1\\name=a\n2\\name=b\n") << QStringList { "a", "b" };
        QTest::newRow("size smaller than present")
            << QByteArray("[events]\nsize=1\n1\\name=a\n2\\name=b\n") << QStringList { "a", "b" };
        QTest::newRow("size not a number") << QByteArray("[events]\nsize=lots\n1\\name=a\n") << QStringList { "a" };
        QTest::newRow("missing keys") << QByteArray(
            "[events]\nsize=3\n1\\category=General\n2\\desc=only text\n3\\name=c\n")
                                      << QStringList { "", "", "c" };
        QTest::newRow("gaps and odd groups")
            << QByteArray("[events]\nsize=3\n0\\name=zero\nx\\name=x\n3\\name=c\n10\\name=j\n3\\other=1\n")
            << QStringList { "c", "j" };
        QTest::newRow("timestamp not a date") << QByteArray(
            "[events]\nsize=3\n1\\name=a\n1\\timestamp=yesterday\n2\\name=b\n2\\timestamp=@Variant(\\0\\0)\n"
            "3\\name=c\n3\\timestamp=@Variant(\n")
                                              << QStringList { "a", "b", "c" };
        // A list claiming four thousand million entries: decoding it would ask for gigabytes.
        QTest::newRow("huge serialised value")
            << QByteArray("[events]\n1\\name=a\n1\\x=@Variant(\\0\\0\\0\\t\\0\\xff\\xff\\xff\\xff)\n")
            << QStringList { "a" };
        QTest::newRow("huge serialised value as a time")
            << QByteArray("[events]\n1\\name=a\n1\\timestamp=@DateTime(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n")
            << QStringList { "a" };
        // Made by quotes, an escape or a list comma, as the settings class reads them; a
        // time in a named zone reads its name with the length the file gives.
        QTest::newRow("serialised value behind quotes and escapes")
            << QByteArray("[events]\n1\\name=a\n1\\x=\"\"@Date\"\"Time(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n"
                          "1\\y=\\x40Variant(\\0\\0\\0\\t\\0\\xff\\xff\\xff\\xff)\n1\\z=b, @Variant(\\0)\n"
                          "1\\=w=@Variant(\\0\\0\\0\\t\\0\\xff\\xff\\xff\\xff)\n1\\v=b\r1\\u=@Variant(\\0)\n")
            << QStringList { "a" };
        QTest::newRow("time in a named zone")
            << QByteArray("[events]\n1\\name=a\n1\\timestamp=@DateTime(\\0\\0\\0\\x10\\0\\0\\0\\0\\0\\0%"
                          "\\x8b\\xdf\\x3\\x2\\xbe\\xd8\\x3\\x7f\\xff\\xff\\xff)\n")
            << QStringList { "a" };
        QTest::newRow("comma in hand-edited text")
            << QByteArray("[events]\n1\\name=one, two\n") << QStringList { "one,two" };
        static const char garbage[] = "\x00\xff\x01[[[=\n\\\\\n@Variant(\x7f";
        QTest::newRow("not an ini file") << QByteArray(garbage, sizeof garbage - 1) << QStringList();
    }
    void damagedFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, loaded);
        writeRaw(content);
        auto m = open();
        QCOMPARE(namesOf(m->events()), loaded);

        m->push(event("new", QDateTime::currentDateTime()));
        QSettings clean(m_path, QSettings::IniFormat);
        QCOMPARE(clean.status(), QSettings::NoError);
        QCOMPARE(clean.childGroups(), QStringList { "events" });
        QCOMPARE(namesInFile(), loaded + QStringList { "new" });
    }

    // Serialised values read from a damaged file go through a binary decoder; feed it noise.
    void randomSerialisedTimestampsNeverCrash()
    {
        QRandomGenerator random(7391);
        for (int round = 0; round < 200; ++round) {
            QByteArray noise(random.bounded(1, 40), Qt::Uninitialized);
            for (char& c : noise)
                c = char(random.bounded(256));
            if (round % 2) // a plausible header makes the decoder go further
                noise.prepend(QByteArray("\0\0\0\x10", 4));
            QByteArray escaped;
            for (const char c : noise)
                escaped += "\\x" + QByteArray::number(uchar(c), 16);
            writeRaw("[events]\nsize=1\n1\\name=n\n1\\timestamp=@Variant(" + escaped + ")\n");
            auto m = open();
            // Kept, or pruned when the noise decodes to an old date; never anything else.
            QVERIFY(m->events().size() <= 1);
            if (!m->events().isEmpty())
                QCOMPARE(m->events().first()->name(), QString("n"));
            m_path = m_dir.filePath(QStringLiteral("events%1.ini").arg(++m_fileNo));
        }
    }

    void truncatedFile()
    {
        writeFile(recent(3));
        const QByteArray whole = readRaw();
        writeRaw(whole.left(whole.indexOf("3\\name") + 3)); // cut inside the last entry's keys
        auto m = open();
        QCOMPARE(namesOf(m->events()), (QStringList { "e0", "e1", "" }));
        QCOMPARE(m->events().at(0)->timestamp().secsTo(m->events().at(1)->timestamp()), 1);
        m->push(event("new", QDateTime::currentDateTime()));
        QCOMPARE(namesInFile(), (QStringList { "e0", "e1", "", "new" }));
    }

    void unreadableTimestampIsKeptAndSortsLast()
    {
        writeRaw("[events]\nsize=1\n1\\name=undated\n1\\timestamp=garbage\n");
        auto m = open(); // pruning cannot tell its age, so it stays
        m->push(event("dated", QDateTime::currentDateTime()));
        QCOMPARE(namesOf(m->data()), (QStringList { "dated", "undated" }));
        m->applyFilterPeriod("Last month");
        QCOMPARE(namesOf(m->data()), QStringList { "dated" });
    }

    // A save that cannot finish must leave the previous file whole, and the log keeps working.
    void failedSaveKeepsThePreviousFile()
    {
        writeFile(recent(2));
        auto m = open();
        const QByteArray before = readRaw();
        QVERIFY(QDir().mkdir(m_path + ".tmp")); // the new file cannot be written beside the old one
        LogCapture log;
        m->push(event("unsaved", QDateTime::currentDateTime()));
        QCOMPARE(readRaw(), before);
        QVERIFY(log.has(QtWarningMsg, "[EventManager] WARN: Could not write event file : " + m_path));
        QCOMPARE(m->data().size(), 3);

        QVERIFY(QDir().rmdir(m_path + ".tmp"));
        m->push(event("saved", QDateTime::currentDateTime()));
        QCOMPARE(namesInFile(), (QStringList { "e0", "e1", "unsaved", "saved" }));
        QVERIFY(!QFile::exists(m_path + ".tmp"));
    }

    void leftoverFromInterruptedSaveIsIgnored()
    {
        writeFile(recent(1));
        QFile half(m_path + ".tmp");
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write("[events]\nsize=900\n1\\name=ha");
        half.close();
        auto m = open();
        QCOMPARE(namesOf(m->events()), QStringList { "e0" });
        m->push(event("next", QDateTime::currentDateTime()));
        QCOMPARE(namesInFile(), (QStringList { "e0", "next" }));
    }

    void unwritableLocationKeepsLogInMemory()
    {
        m_path = m_dir.filePath("missing/dir/events.ini");
        LogCapture log;
        auto m = open();
        QVERIFY(log.has(QtInfoMsg, "[EventManager] Loading saved events : from=0 to=0"));
        m->push(event("a", QDateTime::currentDateTime()));
        m->push(event("b", QDateTime::currentDateTime().addSecs(1)));
        QCOMPARE(namesOf(m->data()), (QStringList { "b", "a" }));
    }
};

QTEST_GUILESS_MAIN(TestEventManager)
#include "tst_eventmanager.moc"
