#pragma once

#include <QMutex>
#include <QtGlobal>

namespace manager {

// Process-wide sink for every Qt log message: filters by level, formats with a
// plain or coloured pattern, stamps each line with the seconds since the logger
// was created and writes to syslog and/or standard error.
class Logger
{
public:
    enum Level { ERROR = 0, WARNING = 1, INFO = 2, DEBUG = 3, TRACE = 4 };

    static Logger* instance();

    void setLevel(Level level);
    // 0, 1, 3 and 4 select those levels; anything else means INFO.
    void setLevel(int level);
    void setSyslog(bool on);
    void setStderr(bool on);
    void setColor(bool on);

    QMutex& getMutex() { return mMutex; }
    bool getSyslog() const { return mSyslog; }
    bool getStderr() const { return mStderr; }
    double getStartTime() const { return mStartTime; }

    // The wall clock in milliseconds; the stamp follows clock steps on purpose,
    // so log lines line up with the device's real-time clock.
    static double wallClockMillis();

private:
    Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    static Logger* mInstance;
    QMutex mMutex;
    bool mSyslog = true;
    bool mStderr = false;
    double mStartTime = 0;
};

} // namespace manager
