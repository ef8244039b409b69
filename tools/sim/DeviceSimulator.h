#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

class QTimer;

namespace manager {
class MqttClient;
}

// Base topics of the simulated services; the card and barcode reader topics are fixed.
struct SimTopics
{
    QString blm = QStringLiteral("vexa/blm");
    QString board = QStringLiteral("vexa/board");
    QString inspector = QStringLiteral("vexa/inspector");
    QString network = QStringLiteral("vexa/network");
    QString device = QStringLiteral("vexa/device");
    // The user interface announces itself here; every announcement makes the services
    // publish their state again, as the validator and network clients never ask for it.
    QString ui = QStringLiteral("vexa/ui");
};

// Plays every sibling service of the front panel at once over one MQTT connection:
// validator with its card and barcode readers, board, inspector, network with
// Ethernet, device with software update and NTP. Answers get requests, applies set
// requests and reports the new state back, and turns text commands into the events
// a passenger or the vehicle would cause. Everything it has to say goes out through
// output(), one line at a time; every request also as a "REQ <topic> <payload>" line.
class DeviceSimulator : public QObject
{
    Q_OBJECT
public:
    explicit DeviceSimulator(manager::MqttClient& mqtt, const SimTopics& topics = SimTopics(),
                             QObject* parent = nullptr);
    ~DeviceSimulator() override;

    // Runs one command line ("tap valid epurse", "status no-route"...). Blank lines
    // and "#" comments are accepted and do nothing. False, with an explanation on
    // output(), for an unknown command or bad arguments. "wait" and "quit" are the
    // business of whoever feeds the commands (see CommandQueue); here "quit" only
    // emits quitRequested().
    bool execute(const QString& line);
    static QStringList helpText();

    // Publishes the info, status and configuration of every service.
    void publishAll();
    // Interval of the simulated download and install steps and of the NTP and
    // Ethernet settling delays; shortened by tests.
    void setStepMillis(int millis);
    // Also report every publication as a "PUB <topic> <payload>" line.
    void setEchoPublished(bool echo) { m_echoPublished = echo; }

    const SimTopics& topics() const { return m_topics; }

signals:
    void output(const QString& line);
    void quitRequested();

private slots:
    void onConnected();
    void onReceived(const QByteArray& payload, const QByteArray& topic);
    void onUpdateStep();

private:
    struct ValidatorState
    {
        bool service = true;
        bool init = false;
        bool hasRfid = true;
        bool rfidUpdating = false;
        bool hasNtp = true;
        bool hasRoute = true;
        bool hasQr = true;
        bool hasObu = true;
        bool rfidEnabled = false;
        bool barcodeEnabled = false;
        QString obuHost = QStringLiteral("192.168.1.200");
        int obuPort = 1883;
        QString obuUser = QStringLiteral("validator");
        QString obuPassword = QStringLiteral("s3cret");
        int passbackSecs = 120;
        bool qrPassback = true;
        int balanceCents = 1250;
        int journeys = 10;
        int cappedCents = 0;
        int sequence = 0;
    };
    struct BoardState
    {
        bool service = true;
        bool ignition = true;
        QString poleId = QStringLiteral("P-0417");
        double temperature = 41.5;
        double voltage = 24.2;
        bool rtcFailed = false;
        int brightness = 80;
        int manualBrightness = 80;
        int sensor = 55;
        QString mode = QStringLiteral("auto");
        QJsonObject power;
        bool mute = false;
        int delayShutdownFor = 30;
    };
    struct EthernetState
    {
        QString interface = QStringLiteral("eth0");
        QString mac = QStringLiteral("02:5a:11:04:17:3c");
        QString state = QStringLiteral("Activated");
        QString reason = QStringLiteral("None");
        QString method = QStringLiteral("auto");
        QJsonObject manual;  // address, netmask, gateway, dns0, dns1 as configured
        QJsonObject lease;   // what the DHCP server hands out
        QJsonObject inForce; // the settings on the interface now
        QString connection = QStringLiteral("Connected");
        QString connectivity = QStringLiteral("Full");
        QString hostname = QStringLiteral("validator-0417");
    };
    struct DeviceState
    {
        bool service = true;
        QString current = QStringLiteral("1.4.2");
        QString pending;
        QString offered; // newest version on the update server
        enum Job { None, Downloading, Installing } job = None;
        int step = 0;
        bool ntpEnabled = true;
        QString ntpServer = QStringLiteral("pool.ntp.org");
        bool ntpSynced = true;
    };

    // Output and publication helpers.
    void say(const QString& line);
    bool publishJson(const QString& topic, const QJsonObject& object);
    bool publishRaw(const QString& topic, const QByteArray& payload);
    void subscribeRequests();

    // Request handlers, one per service; true when the topic was theirs.
    bool handleValidator(const QString& topic, const QJsonObject& o, bool empty);
    bool handleBoard(const QString& topic, const QJsonObject& o);
    bool handleInspector(const QString& topic, const QJsonObject& o);
    bool handleNetwork(const QString& topic, const QJsonObject& o);
    bool handleDevice(const QString& topic, const QJsonObject& o);

    // Messages as the services publish them.
    QJsonObject validatorInfo() const;
    QJsonObject validatorStatus() const;
    QJsonObject validatorConfig() const;
    QJsonObject boardInfo() const;
    QJsonObject boardStatus() const;
    QJsonObject boardDisplay() const;
    QJsonObject inspectorStats(const QString& which) const;
    QJsonObject networkStatus() const;
    QJsonObject ethernetState() const;
    QJsonObject ethernetConfig() const;
    QJsonObject deviceStatus() const;
    QJsonObject updateStatus() const;
    QJsonObject ntpStatus() const;
    QJsonObject ntpConfig() const;

    void publishValidatorAll();
    void publishBoardAll();
    void publishInspectorAll();
    void publishNetworkAll();
    void publishDeviceAll();
    void publishValidatorStatus();
    void publishBoardStatus();
    void publishDisplay();
    void publishPower();
    void publishEthernet();
    void publishDeviceStatus();
    void publishNtpStatus();

    // Ethernet settles on a new configuration after a short delay.
    void reconfigureEthernet();
    void settleNtp();
    void startDownload();
    void startInstall();

    // Commands.
    bool cmdTap(const QStringList& args);
    bool cmdScan(const QStringList& args);
    bool cmdCard(const QStringList& args);
    bool cmdStatus(const QStringList& args);
    bool cmdIgnition(const QStringList& args);
    bool cmdEvent(const QStringList& args);
    bool cmdBoard(const QStringList& args);
    bool cmdService(const QStringList& args);
    bool cmdNet(const QStringList& args);
    bool cmdNtp(const QStringList& args);
    bool cmdUpdate(const QStringList& args);
    bool cmdMaint(const QStringList& args);
    bool cmdState();

    QJsonObject cardTransaction(const QString& kind, int type, bool valid, int denyId);
    QJsonObject barcodeTransaction(bool valid, int denyId);
    QString newCardUid() const;
    void warnIfReaderOff(bool rfid);

    manager::MqttClient& m_mqtt;
    const SimTopics m_topics;
    ValidatorState m_validator;
    BoardState m_board;
    bool m_inspectorService = true;
    int m_volume = 70;
    EthernetState m_eth;
    DeviceState m_device;
    QElapsedTimer m_uptime;
    QTimer* m_updateTimer = nullptr;
    QTimer* m_powerCutTimer = nullptr;
    int m_stepMillis = 500;
    bool m_echoPublished = false;
    bool m_connectedOnce = false;
};
