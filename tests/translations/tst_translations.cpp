#include <QFile>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QtTest>

// The Greek catalogue as compiled into the resources, checked against its source file.
namespace {

const char* const kCatalogue = ":/qml/translations/Ticora_el_GR.qm";

struct Message {
    QString context;
    QString source;
    QString translation;
    bool operator==(const Message& o) const
    {
        return context == o.context && source == o.source && translation == o.translation;
    }
};

QString describe(const Message& m)
{
    return QStringLiteral("%1 / \"%2\" -> \"%3\"").arg(m.context, m.source, m.translation);
}

// Reads the source catalogue; `error` is set on any malformed or unfinished entry.
QList<Message> readTs(const QString& path, QString* error)
{
    QList<Message> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open ") + path;
        return out;
    }
    QXmlStreamReader xml(&f);
    QString context;
    Message current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            current = Message { context, {}, {} };
        } else if (name == QLatin1String("source")) {
            current.source = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            if (!xml.attributes().value(QLatin1String("type")).isEmpty())
                *error = QStringLiteral("entry not finished: ") + current.source;
            current.translation = xml.readElementText();
            out.append(current);
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return out;
}

// Walks the compiled file: magic, then tagged sections; the messages section holds one
// record per message, each a run of tagged fields closed by an end tag.
struct QmContents {
    int hashEntries = -1;
    QList<Message> messages;
    QString error;
};

QmContents readQm(const QByteArray& data)
{
    static const uchar magic[16] = { 0x3c, 0xb8, 0x64, 0x18, 0xca, 0xef, 0x9c, 0x95,
                                     0xcd, 0x21, 0x1c, 0xbf, 0x60, 0xa1, 0xbd, 0xdd };
    QmContents qm;
    if (data.size() < 16 || memcmp(data.constData(), magic, 16) != 0) {
        qm.error = QStringLiteral("not a compiled catalogue");
        return qm;
    }
    const auto* base = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    int pos = 16;
    while (pos + 5 <= size) {
        const uchar tag = base[pos];
        const quint32 len = qFromBigEndian<quint32>(base + pos + 1);
        pos += 5;
        if (len > quint32(size - pos)) {
            qm.error = QStringLiteral("section runs past the end");
            return qm;
        }
        if (tag == 0x42) {
            qm.hashEntries = int(len / 8);
        } else if (tag == 0x69) {
            const uchar* m = base + pos;
            const uchar* end = m + len;
            Message msg;
            while (m < end) {
                const uchar field = *m++;
                if (field == 1) { // end of one message
                    qm.messages.append(msg);
                    msg = Message();
                    continue;
                }
                if (end - m < 4) {
                    qm.error = QStringLiteral("truncated message");
                    return qm;
                }
                const quint32 flen = qFromBigEndian<quint32>(m);
                m += 4;
                if (field == 5) // obsolete four-byte field
                    continue;
                if (flen == 0xffffffffu)
                    continue;
                if (flen > quint32(end - m)) {
                    qm.error = QStringLiteral("field runs past its message");
                    return qm;
                }
                const QByteArray bytes(reinterpret_cast<const char*>(m), int(flen));
                m += flen;
                switch (field) {
                case 3: // translation, UTF-16 big-endian
                    for (int i = 0; i + 1 < bytes.size(); i += 2)
                        msg.translation.append(QChar(ushort((uchar(bytes[i]) << 8) | uchar(bytes[i + 1]))));
                    break;
                case 6:
                    msg.source = QString::fromUtf8(bytes);
                    break;
                case 7:
                    msg.context = QString::fromUtf8(bytes);
                    break;
                case 8: // comment: none expected, ignored
                    break;
                default:
                    qm.error = QStringLiteral("unknown field tag %1").arg(field);
                    return qm;
                }
            }
        }
        pos += int(len);
    }
    return qm;
}

QString tsPath()
{
    return qEnvironmentVariable("TICORA_SOURCE_DIR") + QStringLiteral("/qml/translations/Ticora_el_GR.ts");
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT
private:
    QTranslator m_translator;
    QList<Message> m_source;

    QString greek(const char* context, const char* source) const
    {
        return m_translator.translate(context, source);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("TICORA_SOURCE_DIR"), "TICORA_SOURCE_DIR is not set");
        QVERIFY(QFile::exists(QString::fromLatin1(kCatalogue)));
        QVERIFY(m_translator.load(QString::fromLatin1(kCatalogue)));
        QString error;
        m_source = readTs(tsPath(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void sourceHasTheAgreedMessagesAndContexts()
    {
        QCOMPARE(m_source.size(), 68);
        QSet<QString> contexts;
        QSet<QString> keys;
        for (const Message& m : qAsConst(m_source)) {
            contexts.insert(m.context);
            QVERIFY2(!m.translation.isEmpty(), qPrintable(describe(m)));
            const QString key = m.context + QLatin1Char('\x1f') + m.source;
            QVERIFY2(!keys.contains(key), qPrintable(QStringLiteral("duplicate ") + describe(m)));
            keys.insert(key);
        }
        const QSet<QString> expected { "AlreadyValid", "CustomPopup", "GUIManager", "Invalid", "Login", "OutOfOrder",
            "OutOfService", "Retry", "ScanBarcode", "ScanCard", "ScanScreens", "Transaction", "Valid" };
        QCOMPARE(contexts, expected);
    }

    void compiledFileHoldsExactlyTheSourceMessages()
    {
        QFile f(QString::fromLatin1(kCatalogue));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QmContents qm = readQm(f.readAll());
        QVERIFY2(qm.error.isEmpty(), qPrintable(qm.error));
        QCOMPARE(qm.hashEntries, 68);
        QCOMPARE(qm.messages.size(), 68);
        for (const Message& m : qm.messages)
            QVERIFY2(m_source.contains(m), qPrintable(QStringLiteral("not in the source: ") + describe(m)));
        for (const Message& m : qAsConst(m_source))
            QVERIFY2(qm.messages.contains(m), qPrintable(QStringLiteral("not compiled: ") + describe(m)));
    }

    void everySourceMessageTranslatesThroughTheTranslator()
    {
        for (const Message& m : qAsConst(m_source)) {
            const QString got = m_translator.translate(m.context.toUtf8().constData(), m.source.toUtf8().constData());
            QVERIFY2(got == m.translation, qPrintable(describe(m) + QStringLiteral(" but got \"") + got + '"'));
        }
    }

    void screenTexts_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        QTest::newRow("out of order, two lines") << "OutOfOrder" << "OUT OF ORDER"
                                                 << QString::fromUtf8("ΠΡΟΣΩΡΙΝΑ\nΕΚΤΟΣ ΛΕΙΤΟΥΡΓΙΑΣ");
        QTest::newRow("valid") << "Valid" << "VALID" << QString::fromUtf8("ΕΓΚΥΡΟ");
        QTest::newRow("already validated") << "AlreadyValid" << "ALREADY VALIDATED"
                                           << QString::fromUtf8("ΗΔΗ ΕΠΙΚΥΡΩΜΕΝΟ");
        QTest::newRow("scan card hint") << "ScanScreens" << "SCAN\nYOUR CARD"
                                        << QString::fromUtf8("ΣΑΡΩΣΤΕ ΤΗΝ\nΚΑΡΤΑ ΣΑΣ");
        QTest::newRow("ticket hint, barcode page") << "ScanBarcode" << "SCAN YOUR\nTICKET"
                                                   << QString::fromUtf8("ΣΑΡΩΣΤΕ ΤΟ\nΕΙΣΙΤΗΡΙΟ ΣΑΣ");
        QTest::newRow("period unit") << "Valid" << "mins" << QString::fromUtf8("λεπτά");
        QTest::newRow("dialog no") << "CustomPopup" << "No" << QString::fromUtf8("Όχι");
        QTest::newRow("busy message") << "GUIManager" << "Please Wait" << QString::fromUtf8("Παρακαλώ Περιμένετε");
        QTest::newRow("deny reason") << "Transaction" << "The card is blocked"
                                     << QString::fromUtf8("Η κάρτα είναι στην λίστα μη αποδεκτών καρτών");
        QTest::newRow("login placeholder") << "Login" << "Pin" << QString::fromUtf8("Κωδικός");
    }

    void screenTexts()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(QString, expected);
        QCOMPARE(greek(context.toUtf8().constData(), source.toUtf8().constData()), expected);
    }

    void outOfOrderBreaksIntoTwoLines()
    {
        QCOMPARE(greek("OutOfOrder", "OUT OF ORDER").split(QLatin1Char('\n')).size(), 2);
    }

    // No entry means the translator answers with nothing and the screen keeps its English text.
    void textsWithoutEntryStayEnglish_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::newRow("number pad clear key") << "NumberPad" << "CLR";
        QTest::newRow("login hosts the pad") << "Login" << "CLR";
        QTest::newRow("serial number save") << "InitPage" << "SAVE";
        QTest::newRow("settings confirmation") << "Main" << "Are you sure?";
        QTest::newRow("event log search") << "EventLog" << "Search";
        QTest::newRow("region sync button") << "Region" << "NTP SYNC";
        QTest::newRow("diagnostics finish") << "Diagnostics" << "FINISH";
        QTest::newRow("valid title in another context") << "Invalid" << "VALID";
        QTest::newRow("deny reason outside its class") << "Invalid" << "The card is blocked";
        QTest::newRow("case matters") << "Valid" << "Valid";
    }

    void textsWithoutEntryStayEnglish()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QVERIFY(greek(context.toUtf8().constData(), source.toUtf8().constData()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
