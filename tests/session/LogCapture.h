#pragma once

#include <QList>
#include <QStringList>
#include <QtGlobal>

// Records every log line (level and exact text) while it lives.
class LogCapture
{
public:
    struct Line
    {
        QtMsgType type;
        QString text;
    };

    LogCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    // The texts of the lines that begin with the prefix, in order.
    QStringList texts(const QString& prefix = QString()) const
    {
        QStringList out;
        for (const Line& l : lines)
            if (l.text.startsWith(prefix))
                out << l.text;
        return out;
    }
    bool has(QtMsgType type, const QString& text) const
    {
        for (const Line& l : lines)
            if (l.type == type && l.text == text)
                return true;
        return false;
    }
    void clear() { lines.clear(); }

    QList<Line> lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (s_current)
            s_current->lines.append(Line { type, text });
    }

    inline static LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
};
