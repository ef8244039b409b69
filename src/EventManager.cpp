#include "EventManager.h"

#include "Config.h"
#include "Event.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <utility>

#define EVENT_LOG(level) level().noquote().nospace() << "[EventManager] "

namespace {

const QString kArray = QStringLiteral("events");
const QString kCategory = QStringLiteral("category");
const QString kName = QStringLiteral("name");
const QString kDesc = QStringLiteral("desc");
const QString kTimestamp = QStringLiteral("timestamp");

// An unquoted comma in a hand-edited file makes the settings class read a list.
QString text(const QVariant& value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

// The settings class decodes "@Variant(...)" and "@DateTime(...)" values as any serialised
// value as soon as their section is read, and a damaged one (a list claiming thousands of
// millions of entries, a time zone name of gigabytes) makes it attempt an allocation of
// gigabytes. This log writes only texts and local, UTC or fixed-offset date-times, so every
// other serialised value is dropped before the file is parsed. The value is unescaped first as
// the settings class would (quotes, \x and octal escapes, list commas): an "@" made by
// any of them counts.

// The elements the settings class would make of an escaped value: its bytes, broken at
// the commas that make a list. (A marker byte for the commas would be mistaken for the
// same byte escaped in a time stamp.)
QList<QByteArray> unescaped(const QByteArray& raw)
{
    QList<QByteArray> elements { QByteArray() };
    bool quoted = false;
    for (int i = 0; i < raw.size(); ++i) {
        QByteArray& out = elements.last();
        const char c = raw.at(i);
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted) {
            elements.append(QByteArray());
            continue;
        }
        if (c != '\\' || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const char e = raw.at(++i);
        int base = 0;
        if (e == 'x' || e == 'X')
            base = 16;
        else if (e >= '0' && e <= '7')
            base = 8;
        if (base == 0) {
            static const QByteArray from("abfnrtv"), to("\a\b\f\n\r\t\v");
            const int k = from.indexOf(e);
            out += k >= 0 ? to.at(k) : e;
            continue;
        }
        int j = base == 16 ? i + 1 : i;
        uint code = 0;
        for (; j < raw.size(); ++j) {
            const char d = char(std::tolower(raw.at(j)));
            const int digit = d >= '0' && d <= '9' ? d - '0' : d >= 'a' && d <= 'f' ? d - 'a' + 10 : -1;
            if (digit < 0 || digit >= base)
                break;
            code = qMin(code * uint(base) + uint(digit), 0xffffu);
        }
        i = j - 1;
        // A character beyond one byte cannot begin a serialised value; keep a stand-in.
        out += code <= 0xff ? char(code) : '?';
    }
    return elements;
}

// A date-time as this log writes it: the date-time type id, the null flag, the day and
// the time, and a local, UTC or fixed-offset spec; no time zone, whose name is read with
// a length the file gives.
bool ownTimeStamp(const QByteArray& element)
{
    if (!element.startsWith("@DateTime(") || !element.endsWith(')'))
        return false;
    const QByteArray bytes = element.mid(10, element.size() - 11);
    static const QByteArray typeId("\0\0\0\x10", 4);
    if (!bytes.startsWith(typeId))
        return false;
    const int spec = 4 + 1 + 8 + 4;
    if (bytes.size() == spec + 1)
        return bytes.at(spec) == 0 || bytes.at(spec) == 1;
    return bytes.size() == spec + 1 + 4 && bytes.at(spec) == 2;
}

bool foreignSerialisedValue(const QByteArray& value)
{
    // Without an "@" or an escape no element can begin with one: most values of a log.
    if (!value.contains('@') && !value.contains('\\'))
        return false;
    const QList<QByteArray> elements = unescaped(value);
    for (QByteArray element : elements) {
        element = element.trimmed();
        // "@@" starts a text that began with "@"; "@String(" a text with a null character.
        if (element.startsWith('@') && !element.startsWith("@@") && !element.startsWith("@String(")
            && !(elements.size() == 1 && ownTimeStamp(element)))
            return true;
    }
    return false;
}

QByteArray withoutSerialisedVariants(const QByteArray& content, int* dropped)
{
    QByteArray kept;
    kept.reserve(content.size());
    *dropped = 0;
    // The settings class ends a line at either break, and finds the end of a key past
    // escaped characters ("1\\=x=..."): both readings of a line are checked.
    QByteArray lines = content;
    lines.replace('\r', '\n');
    for (const QByteArray& line : lines.split('\n')) {
        const int plain = line.indexOf('=');
        int escaped = -1;
        for (int i = 0; i < line.size() && escaped < 0; ++i) {
            if (line.at(i) == '\\')
                ++i;
            else if (line.at(i) == '=')
                escaped = i;
        }
        auto foreignAfter = [&line](int eq) { return eq >= 0 && foreignSerialisedValue(line.mid(eq + 1).trimmed()); };
        if (foreignAfter(plain) || (escaped != plain && foreignAfter(escaped))) {
            ++*dropped;
            continue;
        }
        kept += line;
        kept += '\n';
    }
    return kept;
}

// The file is written as the settings class writes it (Qt 5, no text codec: the same
// keys in the same order, the same escaping), so that it reads back through the settings
// class, but one entry at a time: the settings class first builds a map of the whole
// file, about a kilobyte of short-lived allocations per entry, and the heap keeps what a
// save of a full log once took.

// A value as the settings class's INI escaping makes it.
void appendEscaped(QByteArray& out, const QString& str)
{
    const int start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (const QChar qc : str) {
        const ushort ch = qc.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        const bool hexDigit = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
        if (escapeNextIfDigit && hexDigit) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case '\0':
            out += "\\0";
            escapeNextIfDigit = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1f || ch >= 0x7f) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfDigit = true;
            } else {
                out += char(ch);
            }
        }
    }
    if (needsQuotes || (start < out.size() && (out.at(start) == ' ' || out.at(out.size() - 1) == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

// A text value as the settings class marks it before escaping.
QString storedText(const QString& value)
{
    if (value.contains(QChar::Null))
        return QStringLiteral("@String(") + value + QLatin1Char(')');
    if (value.startsWith(QLatin1Char('@')))
        return QLatin1Char('@') + value;
    return value;
}

QString storedTime(const QDateTime& value)
{
    QByteArray bytes;
    {
        QDataStream s(&bytes, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_5_6);
        s << QVariant(value);
    }
    return QStringLiteral("@DateTime(") + QLatin1String(bytes.constData(), bytes.size()) + QLatin1Char(')');
}

// The settings class sorts keys as text: 1, 10, 100, 1000, 1001, 101, ..., 2, ...
bool beforeAsText(int a, int b)
{
    char ta[16];
    char tb[16];
    std::snprintf(ta, sizeof ta, "%d", a);
    std::snprintf(tb, sizeof tb, "%d", b);
    return std::strcmp(ta, tb) < 0;
}

bool writeEventFile(const QString& path, const QList<Event*>& events)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QVector<int> order(events.size());
    std::iota(order.begin(), order.end(), 1);
    std::sort(order.begin(), order.end(), beforeAsText);

    QByteArray block("[events]\n");
    block.reserve(4096);
    bool ok = true;
    for (int index : qAsConst(order)) {
        const Event* e = events.at(index - 1);
        const QByteArray key = QByteArray::number(index) + '\\';
        const std::pair<const char*, QString> fields[]
            = { { "category", storedText(e->category()) }, { "desc", storedText(e->description()) },
                  { "name", storedText(e->name()) }, { "timestamp", storedTime(e->timestamp()) } };
        for (const auto& field : fields) {
            block += key;
            block += field.first;
            block += '=';
            appendEscaped(block, field.second);
            block += '\n';
        }
        ok = ok && file.write(block) == block.size();
        block.resize(0);
    }
    block += "size=" + QByteArray::number(events.size()) + '\n';
    ok = ok && file.write(block) == block.size();
    // A write that fails as the buffer is flushed (a full storage card) is noticed here.
    ok = file.flush() && ok;
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

// Newest first; entries whose time is unknown go to the end.
bool newerThan(const QObject* a, const QObject* b)
{
    const QDateTime ta = static_cast<const Event*>(a)->timestamp();
    const QDateTime tb = static_cast<const Event*>(b)->timestamp();
    if (!ta.isValid() || !tb.isValid())
        return ta.isValid() && !tb.isValid();
    return ta > tb;
}

} // namespace

QString EventManager::defaultFileName()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/events.ini");
}

EventManager::EventManager(Config& config, QObject* parent)
    : EventManager(config, defaultFileName(), parent)
{
}

EventManager::EventManager(Config& config, const QString& fileName, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_fileName(fileName)
    , m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    m_retry->setInterval(RetryMillis);
    connect(m_retry, &QTimer::timeout, this, [this] { save(true); });
    load();
    clear(QDateTime::currentDateTime().addDays(-PruneDays));
}

EventManager::~EventManager()
{
    m_visible.clear();
    qDeleteAll(m_events);
}

QDateTime EventManager::now() const { return m_now ? m_now() : QDateTime::currentDateTime(); }

void EventManager::adopt(Event* event)
{
    // QML must never collect an entry it was handed through `data`: an object with a
    // parent is never the engine's to delete.
    event->setParent(this);
    m_events.append(event);
}

void EventManager::dispose(Event* event)
{
    // Deferred: a QML delegate may still be bound to it until the list is rebuilt.
    event->deleteLater();
}

void EventManager::load()
{
    const QFileInfo info(m_fileName);
    if (info.exists() && (!info.isReadable() || !QFile(m_fileName).open(QIODevice::ReadOnly))) {
        EVENT_LOG(qWarning) << "WARN: Cannot read event file, starting with no events : " << m_fileName;
        return;
    }
    QString source = m_fileName;
    QTemporaryFile filtered;
    {
        QFile raw(m_fileName);
        int dropped = 0;
        const QByteArray content = raw.open(QIODevice::ReadOnly) ? raw.readAll() : QByteArray();
        const QByteArray clean = withoutSerialisedVariants(content, &dropped);
        if (dropped > 0) {
            EVENT_LOG(qWarning) << "WARN: Event file " << m_fileName << " holds " << dropped
                                << " value(s) of a kind it never stores; ignoring them";
            if (filtered.open() && filtered.write(clean) == clean.size() && filtered.flush())
                source = filtered.fileName();
            else
                source.clear();
        }
    }
    if (source.isEmpty()) {
        EVENT_LOG(qWarning) << "WARN: Cannot read event file, starting with no events : " << m_fileName;
        return;
    }
    QSettings file(source, QSettings::IniFormat);
    const bool unparsable = file.status() == QSettings::FormatError;
    file.beginGroup(kArray);

    // Read the entries that are actually present rather than trusting the size entry:
    // a damaged or hand-edited file may claim more or fewer than it holds.
    struct Entry
    {
        int index;
        QString group;
    };
    QVector<Entry> present;
    const QStringList groups = file.childGroups();
    for (const QString& g : groups) {
        bool ok = false;
        const int index = g.toInt(&ok);
        if (!ok || index < 1)
            continue;
        file.beginGroup(g);
        const bool any
            = file.contains(kCategory) || file.contains(kName) || file.contains(kDesc) || file.contains(kTimestamp);
        file.endGroup();
        if (any)
            present.append(Entry { index, g });
    }
    std::stable_sort(present.begin(), present.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });

    // Damaged beyond use: keep it beside the new log rather than write over it.
    if (info.size() > 0 && (unparsable || (present.isEmpty() && !file.contains(QStringLiteral("size"))))) {
        const QString damaged = m_fileName + QStringLiteral(".damaged");
        QFile::remove(damaged);
        const bool kept = QFile::copy(m_fileName, damaged);
        EVENT_LOG(qWarning) << "WARN: Event file " << m_fileName << " is damaged; "
                            << (kept ? QStringLiteral("kept as ") + damaged : QStringLiteral("could not keep a copy"))
                            << "; starting a new one";
        return;
    }

    const QVariant sizeEntry = file.value(QStringLiteral("size"));
    bool sizeOk = false;
    const int declared = sizeEntry.toInt(&sizeOk);
    if ((sizeEntry.isValid() || !present.isEmpty()) && (!sizeOk || declared != present.size())) {
        EVENT_LOG(qWarning) << "WARN: Event file " << m_fileName << " has size entry '" << text(sizeEntry) << "' but "
                            << present.size() << " readable event(s); loading those";
    }

    const int n = present.size();
    const int first = n <= MaxLoaded ? 0 : n - MaxLoaded;
    EVENT_LOG(qInfo) << "Loading saved events : from=" << first << " to=" << n;
    for (int i = first; i < n; ++i) {
        file.beginGroup(present.at(i).group);
        // A damaged time stamp can decode into a time zone that does not exist, which
        // crashes the settings class when the entry is written back: drop such a time.
        QDateTime stamp = file.value(kTimestamp).toDateTime();
        if (stamp.timeSpec() == Qt::TimeZone && !stamp.timeZone().isValid())
            stamp = QDateTime();
        adopt(new Event(text(file.value(kCategory)), text(file.value(kName)), text(file.value(kDesc)), stamp));
        file.endGroup();
    }
    file.endGroup();
}

bool EventManager::save(bool retry)
{
    // Written beside the old file and renamed over it, so a power cut leaves one whole
    // file or the other, never a mix.
    const QString temp = m_fileName + QStringLiteral(".tmp");
    if (QFileInfo(temp).isFile())
        QFile::remove(temp);

    bool ok = writeEventFile(temp, m_events);
    ok = ok && QFileInfo(temp).isFile()
        && std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(m_fileName).constData()) == 0;
    if (!ok) {
        // The entries stay in memory and the file is tried again until it is written.
        if (!retry)
            EVENT_LOG(qWarning) << "WARN: Could not write event file : " << m_fileName;
        if (QFileInfo(temp).isFile())
            QFile::remove(temp);
        m_retry->start();
    } else if (m_retry->isActive() || retry) {
        m_retry->stop();
        EVENT_LOG(qInfo) << "Event file written again : " << m_fileName;
    }
    return ok;
}

void EventManager::push(Event* event)
{
    if (!event || m_events.contains(event))
        return;
    if (m_events.size() > MaxLoaded)
        dispose(m_events.takeFirst());
    adopt(event);
    save();
    rebuild();
}

void EventManager::clear(const QDateTime& before)
{
    int removed = 0;
    for (auto it = m_events.begin(); it != m_events.end();) {
        const QDateTime t = (*it)->timestamp();
        // An unreadable time stamp says nothing about the entry's age: keep it.
        if (t.isValid() && t <= before) {
            dispose(*it);
            it = m_events.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    EVENT_LOG(qInfo) << "Deleted " << removed << " event(s) older than "
                     << before.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (removed > 0)
        save();
    rebuild();
}

void EventManager::clear()
{
    if (m_events.isEmpty())
        return;
    for (Event* e : qAsConst(m_events))
        dispose(e);
    m_events.clear();
    save();
    rebuild();
}

void EventManager::applyFilter(const QString& name)
{
    EVENT_LOG(qInfo) << "Filtering : name=" << name;
    m_nameFilter = name;
    rebuild();
}

void EventManager::applyFilter(int severity)
{
    EVENT_LOG(qInfo) << "Filtering : severity=" << severity;
    m_severity = severity;
    rebuild();
}

void EventManager::applyFilter(const QDateTime& from, const QDateTime& to)
{
    EVENT_LOG(qInfo) << "Filtering : from=" << from.toString() << " to=" << to.toString();
    m_from = from;
    m_to = to;
    rebuild();
}

void EventManager::applyFilterPeriod(const QString& period)
{
    EVENT_LOG(qInfo) << "Filtering (period) : " << period;
    const QDateTime current = now();
    const QDate today = current.date();
    const QTime midnight(0, 0);
    QDateTime from;
    QDateTime to;
    if (period == QLatin1String("Last hour")) {
        from = current.addSecs(-3600);
        to = current;
    } else if (period == QLatin1String("Last 2 hours")) {
        from = current.addSecs(-7200);
        to = current;
    } else if (period == QLatin1String("Last 5 hours")) {
        from = current.addSecs(-18000);
        to = current;
    } else if (period == QLatin1String("Today")) {
        from = QDateTime(today, midnight);
        to = QDateTime(today, QTime(23, 59, 59));
    } else if (period == QLatin1String("Yesterday")) {
        from = QDateTime(today.addDays(-1), midnight);
        to = QDateTime(today.addDays(-1), QTime(23, 59, 59));
    } else if (period == QLatin1String("Last week")) {
        from = QDateTime(today.addDays(-7), midnight);
        to = current;
    } else if (period == QLatin1String("Last month")) {
        from = QDateTime(today.addMonths(-1), midnight);
        to = current;
    }
    applyFilter(from, to);
}

void EventManager::rebuild()
{
    m_visible.clear();
    for (Event* e : qAsConst(m_events)) {
        if (m_from.isValid()) {
            const QDateTime t = e->timestamp();
            if (!t.isValid() || t < m_from || (m_to.isValid() && t > m_to))
                continue;
        }
        if (!m_nameFilter.isEmpty() && !e->name().contains(m_nameFilter, Qt::CaseInsensitive))
            continue;
        m_visible.append(e);
    }
    std::stable_sort(m_visible.begin(), m_visible.end(), newerThan);
    emit dataChanged();
}
