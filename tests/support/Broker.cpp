#include "Broker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

namespace {

quint16 freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

QString mosquittoBinary()
{
    QString exe = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (exe.isEmpty())
        exe = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
    return exe;
}

// Run as whoever runs the test, so the broker can read files in our temporary folder.
QString currentUser()
{
    const passwd* pw = getpwuid(getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("root");
}

} // namespace

Broker::Broker(const QString& extraConfig) : m_extra(extraConfig)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Broker::~Broker() { stop(); }

bool Broker::start()
{
    if (isRunning())
        return true;
    const QString exe = mosquittoBinary();
    if (exe.isEmpty() || !m_dir.isValid())
        return false;
    // A restarted broker keeps its port, as a real one would.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (m_port == 0 || attempt > 0)
            m_port = freePort();
        if (m_port == 0)
            continue;
        const QString conf = m_dir.filePath(QStringLiteral("mosquitto.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QString text = QStringLiteral("listener %1 127.0.0.1\n"
                                            "persistence false\n"
                                            "log_dest none\n"
                                            "user %2\n"
                                            "%3\n")
                                 .arg(m_port)
                                 .arg(currentUser())
                                 .arg(m_extra.contains(QLatin1String("password_file"))
                                          ? m_extra
                                          : QStringLiteral("allow_anonymous true\n") + m_extra);
        f.write(text.toUtf8());
        f.close();

        m_process.start(exe, {QStringLiteral("-c"), conf});
        if (!m_process.waitForStarted(10000))
            return false;
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(500)) {
                probe.disconnectFromHost();
                return true;
            }
            QThread::msleep(50);
        }
        stop(); // port taken meanwhile, or the broker died: try another port
    }
    return false;
}

void Broker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    resume();
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void Broker::pause()
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGSTOP);
}

void Broker::resume()
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGCONT);
}

bool Broker::isRunning() const { return m_process.state() == QProcess::Running; }

QString Broker::writePasswordFile(const QString& user, const QString& password)
{
    const QString path = m_dir.filePath(QStringLiteral("passwd"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write((user + QLatin1Char(':') + password + QLatin1Char('\n')).toUtf8());
    f.close();
    QProcess pw;
    pw.start(QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")), {QStringLiteral("-U"), path});
    pw.waitForFinished(10000);
    return path;
}
