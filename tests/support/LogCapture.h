#pragma once

#include <QList>
#include <QStringList>
#include <QtGlobal>

// Records log lines (level and exact text) while it lives. Without a tag it keeps
// every line and lets none through; with a tag ("[Board] ") it keeps the lines that
// begin with it, without the tag, and passes the others on (debug lines dropped, to
// keep test output readable).
class LogCapture
{
public:
    struct Line {
        QtMsgType type;
        QString text;
    };

    LogCapture() : LogCapture(QString(), false) {}
    explicit LogCapture(const QString& tag) : LogCapture(tag, true) {}
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const
    {
        QStringList out;
        for (const Line& l : entries)
            out << l.text;
        return out;
    }
    QStringList lines(QtMsgType type) const
    {
        QStringList out;
        for (const Line& l : entries)
            if (l.type == type)
                out << l.text;
        return out;
    }
    // The texts that begin with the prefix, in order.
    QStringList texts(const QString& prefix = QString()) const
    {
        QStringList out;
        for (const Line& l : entries)
            if (l.text.startsWith(prefix))
                out << l.text;
        return out;
    }
    bool has(QtMsgType type, const QString& text) const
    {
        for (const Line& l : entries)
            if (l.type == type && l.text == text)
                return true;
        return false;
    }
    void clear() { entries.clear(); }

    QList<Line> entries;

private:
    LogCapture(const QString& tag, bool filtered) : m_tag(tag), m_filtered(filtered)
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }

    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        LogCapture* self = s_current;
        if (!self)
            return;
        if (!self->m_filtered) {
            self->entries.append(Line{type, text});
            return;
        }
        if (text.startsWith(self->m_tag))
            self->entries.append(Line{type, text.mid(self->m_tag.size())});
        else if (type != QtDebugMsg && self->m_previous)
            self->m_previous(type, context, text);
    }

    inline static LogCapture* s_current = nullptr;
    QString m_tag;
    bool m_filtered;
    QtMessageHandler m_previous = nullptr;
};
