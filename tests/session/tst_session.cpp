#include "Config.h"
#include "LogCapture.h"
#include "SessionManager.h"
#include "SettingsKeys.h"

#include <QJsonDocument>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
const QString kLoggedIn = QStringLiteral("[SessionManager] User logged-in : VEXA, Admin");
const QString kLoggedOut = QStringLiteral("[SessionManager] User logged-out : VEXA, Admin");
const QString kWrongPin = QStringLiteral("[SessionManager] WARN: User entered wrong pin");
} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<SessionManager> m_session;
    QStringList m_signals;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(confPath());
        m_config = std::make_unique<Config>(confPath(), manager::keys::defaults());
        m_session = std::make_unique<SessionManager>(*m_config);
        m_signals.clear();
        auto record = [this](const char* name) { return [this, name] { m_signals << QLatin1String(name); }; };
        connect(m_session.get(), &SessionManager::accessGranted, this, record("granted"));
        connect(m_session.get(), &SessionManager::accessDenied, this, record("denied"));
        connect(m_session.get(), &SessionManager::sessionActiveChanged, this, record("active"));
        connect(m_session.get(), &SessionManager::expired, this, record("expired"));
    }
    void cleanup()
    {
        m_session.reset();
        m_config.reset();
    }

    void defaultPinOpensSessionAndLogsWithoutThePin()
    {
        LogCapture log;
        QCOMPARE(m_session->remainingTime(), -1);
        m_session->loginRequest(QStringLiteral("7391"));
        QCOMPARE(m_signals, (QStringList { "granted", "active" }));
        QVERIFY(m_session->sessionActive());
        QCOMPARE(m_session->user()->name, QString("VEXA"));
        QCOMPARE(log.texts(),
            (QStringList {
                "[SessionManager] Login requested with PIN", "[SessionManager] Entered PIN    : ****", kLoggedIn }));
        QCOMPARE(log.entries.at(1).type, QtDebugMsg);
        QCOMPARE(m_session->expiryInterval(), 600000);
        QVERIFY(m_session->remainingTime() > 0 && m_session->remainingTime() <= 600000);
    }

    void pinMustMatchExactly_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::newRow("trailing blank") << "7391 ";
        QTest::newRow("leading blank") << " 7391";
        QTest::newRow("prefix") << "739";
        QTest::newRow("longer") << "73911";
        QTest::newRow("empty") << "";
    }
    void pinMustMatchExactly()
    {
        QFETCH(QString, pin);
        LogCapture log;
        m_session->loginRequest(pin);
        QCOMPARE(m_signals, QStringList { "denied" });
        QVERIFY(!m_session->sessionActive());
        QVERIFY(log.has(QtWarningMsg, kWrongPin));
        // The masked line is the same for every entry, so not even the length leaks.
        QVERIFY(log.has(QtDebugMsg, "[SessionManager] Entered PIN    : ****"));
    }

    void wrongPinLeavesOpenSessionAlone()
    {
        m_session->loginRequest("7391");
        m_session->loginRequest("0000");
        QVERIFY(m_session->sessionActive());
        QVERIFY(m_session->remainingTime() > 0);
        QCOMPARE(m_signals, (QStringList { "granted", "active", "denied" }));
    }

    void loginAgainRestartsTheTimer()
    {
        m_session->loginRequest("7391");
        m_session->setExpiryInterval(3600000);
        m_session->loginRequest("7391");
        QCOMPARE(m_signals, (QStringList { "granted", "active", "granted", "active" }));
        QVERIFY(m_session->remainingTime() > 600000);
    }

    void newPinWorksAtOnce()
    {
        // Through the store's setter, an edited file and the JSON form from the wire.
        m_config->set("gui/settingsPin", QStringLiteral("1234"));
        m_session->loginRequest("7391");
        m_session->loginRequest("1234");
        QCOMPARE(m_signals, (QStringList { "denied", "granted", "active" }));

        {
            QSettings file(confPath(), QSettings::IniFormat);
            file.setValue("gui/settingsPin", "2468");
        }
        m_config->onFileChanged(confPath());
        QVERIFY(m_session->sessionActive()); // a rebuilt user list keeps the session
        QCOMPARE(m_session->user()->pin, QString("2468"));
        m_signals.clear();
        m_session->loginRequest("1234");
        m_session->loginRequest("2468");
        QCOMPARE(m_signals, (QStringList { "denied", "granted", "active" }));

        m_config->fromJson(QJsonDocument::fromJson(R"({"gui": {"settingsPin": "5555"}})").object());
        m_config->set("gui/showCursor", false); // an unrelated change rebuilds too, harmlessly
        m_signals.clear();
        m_session->loginRequest("2468");
        m_session->loginRequest("5555");
        QCOMPARE(m_signals, (QStringList { "denied", "granted", "active" }));

        m_config->set("gui/settingsPin", 4321); // not text: its text form counts
        m_session->loginRequest("4321");
        QCOMPARE(m_signals.last(), QString("active"));
        QCOMPARE(m_signals.size(), 5);
    }

    void sessionExpiresByItself()
    {
        m_session->setExpiryInterval(50);
        m_session->loginRequest("7391");
        LogCapture log;
        QTRY_VERIFY_WITH_TIMEOUT(!m_session->sessionActive(), 10000);
        QCOMPARE(m_signals, (QStringList { "granted", "active", "active" }));
        QCOMPARE(log.texts("[SessionManager]"), (QStringList { "[SessionManager] Session expired", kLoggedOut }));
        QCOMPARE(log.entries.at(0).type, QtWarningMsg);
        QCOMPARE(m_session->remainingTime(), -1);
    }

    void logout()
    {
        LogCapture log;
        m_session->logoutRequest();
        QVERIFY(log.entries.isEmpty());
        QVERIFY(m_signals.isEmpty());

        m_session->loginRequest("7391");
        log.clear();
        m_session->logoutRequest();
        QCOMPARE(log.texts(), QStringList { kLoggedOut });
        QCOMPARE(m_signals, (QStringList { "granted", "active", "active" }));
        QVERIFY(!m_session->user());
        QCOMPARE(m_session->remainingTime(), -1);
    }

    void resetTimerGivesAnotherFullInterval()
    {
        m_session->resetTimer();
        QVERIFY(!m_session->sessionActive());
        QCOMPARE(m_session->remainingTime(), -1);

        m_session->setExpiryInterval(60000);
        m_session->loginRequest("7391");
        QTRY_VERIFY_WITH_TIMEOUT(m_session->remainingTime() < 58000, 15000);
        m_session->resetTimer();
        QVERIFY(m_session->remainingTime() > 58000);
        QCOMPARE(m_signals, (QStringList { "granted", "active" }));
    }

private:
    QString confPath() const { return m_dir.filePath("gui.conf"); }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
