#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QPair>
#include <QSignalSpy>
#include <QStringList>

#include <memory>
#include <vector>

// Records the log lines of one class (those beginning with its tag) while it lives.
// Debug lines of other classes are dropped to keep test output readable.
class LogCapture
{
public:
    explicit LogCapture(const QString& tag)
    {
        s_tag = tag;
        s_entries.clear();
        s_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }

    // The lines after the tag, in order.
    QStringList lines() const
    {
        QStringList out;
        for (const auto& e : s_entries)
            out.append(e.second);
        return out;
    }
    QStringList lines(QtMsgType type) const
    {
        QStringList out;
        for (const auto& e : s_entries)
            if (e.first == type)
                out.append(e.second);
        return out;
    }
    bool has(QtMsgType type, const QString& line) const { return s_entries.contains(qMakePair(type, line)); }
    void clear() { s_entries.clear(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (message.startsWith(s_tag))
            s_entries.append(qMakePair(type, message.mid(s_tag.size())));
        else if (type == QtDebugMsg)
            return;
        if (s_previous)
            s_previous(type, context, message);
    }

    inline static QString s_tag;
    inline static QList<QPair<QtMsgType, QString>> s_entries;
    inline static QtMessageHandler s_previous = nullptr;
};

// Spies on every signal the object's own class declares.
class SignalLog
{
public:
    explicit SignalLog(QObject* object)
    {
        const QMetaObject* mo = object->metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            const QMetaMethod method = mo->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            m_names.append(QString::fromLatin1(method.name()));
            m_spies.emplace_back(new QSignalSpy(object, method));
        }
    }

    // "name xN" for every signal emitted since the last clear(), in declaration order.
    QStringList fired() const
    {
        QStringList out;
        for (size_t i = 0; i < m_spies.size(); ++i)
            if (!m_spies[i]->isEmpty())
                out.append(QStringLiteral("%1 x%2").arg(m_names.at(int(i))).arg(m_spies[i]->size()));
        return out;
    }
    void clear()
    {
        for (auto& spy : m_spies)
            spy->clear();
    }

private:
    QStringList m_names;
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};
