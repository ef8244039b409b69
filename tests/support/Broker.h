#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private mosquitto broker for one test: foreground process, its own config file,
// a free port on 127.0.0.1. Never the system service.
//   Broker broker;
//   if (!broker.start()) QSKIP("mosquitto cannot be started here");
class Broker
{
public:
    // extraConfig is appended to the generated configuration (password_file ...).
    explicit Broker(const QString& extraConfig = QString());
    ~Broker();

    // Starts the broker (on the same port again after stop()) and waits until it
    // accepts connections. False when it cannot be started.
    bool start();
    // Replaces the extra configuration for the next start().
    void setExtraConfig(const QString& extraConfig) { m_extra = extraConfig; }
    void stop();
    // Freezes / resumes the process (SIGSTOP / SIGCONT): a broker that accepts TCP but
    // never answers.
    void pause();
    void resume();
    bool isRunning() const;
    quint16 port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    // Writes a mosquitto password file with one user; for extraConfig.
    QString writePasswordFile(const QString& user, const QString& password);
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_extra;
    QProcess m_process;
    quint16 m_port = 0;
};
