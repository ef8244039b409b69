// Drives manager::Logger from the command line so a test can read what it writes.
// Arguments run in order: level=N stderr=0|1 syslog=0|1 color=0|1 create wait=MS
// debug=TEXT info=TEXT warning=TEXT critical=TEXT fatal=TEXT
// catdebug=TEXT catwarning=TEXT (category "ticora.test") qtdebug=TEXT (category "qt.test").
#include "Logger.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>

#include <cstdarg>
#include <cstdio>

Q_LOGGING_CATEGORY(ticoraTest, "ticora.test")
Q_LOGGING_CATEGORY(qtTest, "qt.test")

// This machine has no syslog daemon: take the logger's syslog calls here instead
// and print them on standard output as "SYSLOG <priority> <text>".
namespace {
void recordSyslog(int priority, const char* format, va_list args)
{
    char text[4096];
    vsnprintf(text, sizeof text, format, args);
    printf("SYSLOG %d %s\n", priority, text);
    fflush(stdout);
}
} // namespace

extern "C" void syslog(int priority, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    recordSyslog(priority, format, args);
    va_end(args);
}

// The fortified form, should the build use it.
extern "C" void __syslog_chk(int priority, int, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    recordSyslog(priority, format, args);
    va_end(args);
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    for (const QString& arg : args) {
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        const QString value = arg.section(QLatin1Char('='), 1);
        const QByteArray text = value.toUtf8();
        if (name == QLatin1String("create"))
            manager::Logger::instance();
        else if (name == QLatin1String("wait"))
            QThread::msleep(value.toULong());
        else if (name == QLatin1String("level"))
            manager::Logger::instance()->setLevel(value.toInt());
        else if (name == QLatin1String("stderr"))
            manager::Logger::instance()->setStderr(value == QLatin1String("1"));
        else if (name == QLatin1String("syslog"))
            manager::Logger::instance()->setSyslog(value == QLatin1String("1"));
        else if (name == QLatin1String("color"))
            manager::Logger::instance()->setColor(value == QLatin1String("1"));
        else if (name == QLatin1String("debug"))
            qDebug("%s", text.constData());
        else if (name == QLatin1String("info"))
            qInfo("%s", text.constData());
        else if (name == QLatin1String("warning"))
            qWarning("%s", text.constData());
        else if (name == QLatin1String("critical"))
            qCritical("%s", text.constData());
        else if (name == QLatin1String("fatal"))
            qFatal("%s", text.constData());
        else if (name == QLatin1String("catdebug"))
            qCDebug(ticoraTest, "%s", text.constData());
        else if (name == QLatin1String("catwarning"))
            qCWarning(ticoraTest, "%s", text.constData());
        else if (name == QLatin1String("qtdebug"))
            qCDebug(qtTest, "%s", text.constData());
        else
            return 2;
    }
    return 0;
}
