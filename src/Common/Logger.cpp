#include "Logger.h"

#include <QLoggingCategory>
#include <QMutexLocker>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <syslog.h>

namespace manager {

namespace {

const char* const kPlainPattern =
    "%{if-fatal}%{function} at %{file}:%{line} (%{pid}:%{threadid}:%{qthreadptr}) - %{endif}%{message}";

const char* const kColorPattern =
    "%{if-category}[%{category}] %{endif}"
    "%{if-info}%{message}%{endif}"
    "%{if-warning}\33[33m%{message}\33[39m%{endif}"
    "%{if-debug}\33[35m%{message}\33[39m%{endif}"
    "%{if-critical}\33[31m%{message}\33[39m%{endif}"
    "%{if-fatal}%{function} at %{file}:%{line} (%{pid}:%{threadid}:%{qthreadptr}) - \33[31m%{message}\33[39m%{endif}";

const char* const kRules[] = {
    "*=true\n*.warning=false\n*.info=false\n*.debug=false\nqt.*=false",
    "*=true\n*.info=false\n*.debug=false\nqt.*=false",
    "*=true\n*.debug=false\nqt.*=false",
    "*=true\nqt.*=false",
    "*=true",
};

} // namespace

Logger* Logger::mInstance = nullptr;

Logger* Logger::instance()
{
    // First use happens on the main thread during start-up, before any other
    // thread could log, so no lock is needed around the creation.
    if (!mInstance)
        mInstance = new Logger;
    return mInstance;
}

Logger::Logger()
{
    mStderr = false;
    mSyslog = true;
    mStartTime = wallClockMillis();
    setColor(false);
    setLevel(2);
    qInstallMessageHandler(&Logger::messageHandler);
}

double Logger::wallClockMillis()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1000000.0;
}

void Logger::setLevel(Level level)
{
    if (level < ERROR || level > TRACE)
        level = INFO;
    QMutexLocker lock(&mMutex);
    QLoggingCategory::setFilterRules(QString::fromLatin1(kRules[level]));
}

void Logger::setLevel(int level)
{
    switch (level) {
    case ERROR:
    case WARNING:
    case DEBUG:
    case TRACE:
        setLevel(Level(level));
        break;
    default:
        setLevel(INFO);
        break;
    }
}

void Logger::setSyslog(bool on)
{
    QMutexLocker lock(&mMutex);
    mSyslog = on;
}

void Logger::setStderr(bool on)
{
    QMutexLocker lock(&mMutex);
    mStderr = on;
}

void Logger::setColor(bool on)
{
    QMutexLocker lock(&mMutex);
    qSetMessagePattern(QString::fromLatin1(on ? kColorPattern : kPlainPattern));
}

void Logger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Logger* self = instance();
    QMutexLocker lock(&self->mMutex);

    const QByteArray text = qFormatLogMessage(type, context, message).toUtf8();
    const double elapsed = (wallClockMillis() - self->mStartTime) / 1000.0;

    if (self->mSyslog) {
        switch (type) {
        case QtDebugMsg:
            syslog(LOG_DEBUG, "[%9.03f] [debug] %s", elapsed, text.constData());
            break;
        case QtInfoMsg:
            syslog(LOG_INFO, "[%9.03f] %s", elapsed, text.constData());
            break;
        case QtWarningMsg:
            syslog(LOG_WARNING, "[%9.03f] [warning] %s", elapsed, text.constData());
            break;
        case QtCriticalMsg:
            syslog(LOG_CRIT, "[%9.03f] [error] %s", elapsed, text.constData());
            break;
        case QtFatalMsg:
            syslog(LOG_ERR, "[%9.03f] [fatal] %s", elapsed, text.constData());
            break;
        }
    }
    if (self->mStderr) {
        fprintf(stderr, "[%9.03f] %s\n", elapsed, text.constData());
        fflush(stderr);
    }
    if (type == QtFatalMsg)
        abort();
}

} // namespace manager
