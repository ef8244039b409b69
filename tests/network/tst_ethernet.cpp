#include "Ethernet.h"
#include "FakeTransport.h"

#include <QSignalSpy>
#include <QtTest>

using manager::Ethernet;

namespace {

const QString E = QStringLiteral("vexa/network/ethernet");

QByteArray stateMessage(const QString& interface, const QString& ipv4Extra = QString())
{
    return QStringLiteral(R"({"interface": "%1", "typeStr": "802-3-ethernet", "stateStr": "Activated",
        "reasonStr": "None", "mac": "00:11:22:33:44:55",
        "ipv4": {"address": "10.0.0.5", "netmask": "255.255.255.0", "gateway": "10.0.0.1",
                 "dns0": "10.0.0.2", "dns1": "10.0.0.3"%2}})")
        .arg(interface, ipv4Extra)
        .toUtf8();
}

const QByteArray ConfigMessage = R"({"interface": "eth0", "method": "manual", "address": "192.168.1.10",
    "netmask": "255.255.255.0", "gateway": "192.168.1.1", "dns0": "8.8.8.8", "dns1": ""})";

// One spy per IPv4 field signal, so a test can tell which fields fired.
struct FieldSpies
{
    QSignalSpy address, mask, gateway, dns0, dns1;
    explicit FieldSpies(IPv4* r)
        : address(r, &IPv4::addressChanged)
        , mask(r, &IPv4::maskChanged)
        , gateway(r, &IPv4::gatewayChanged)
        , dns0(r, &IPv4::dns0Changed)
        , dns1(r, &IPv4::dns1Changed)
    {
    }
    QList<int> counts() const { return { address.count(), mask.count(), gateway.count(), dns0.count(), dns1.count() }; }
};

} // namespace

class TestEthernet : public QObject
{
    Q_OBJECT
private slots:
    void ipv4RecordKeepsOnlyItsFiveKeys()
    {
        IPv4 r;
        FieldSpies spies(&r);
        r.setAddress(QString()); // a key it does not hold, set to empty: nothing happens
        QVERIFY(r.toMap().isEmpty());
        r.fromMap({ { "address", "1.2.3.4" }, { "netmask", "255.0.0.0" }, { "prefix", 24 }, { "gateway", 7 } });
        QCOMPARE(r.address(), QString("1.2.3.4"));
        QCOMPARE(r.mask(), QString("255.0.0.0"));
        QCOMPARE(r.gateway(), QString()); // not text: reads as empty
        QCOMPARE(r.toMap(), (QVariantMap { { "address", "1.2.3.4" }, { "netmask", "255.0.0.0" } }));
        QCOMPARE(spies.counts(), (QList<int> { 1, 1, 0, 0, 0 }));

        r.setAddress("1.2.3.4");
        QCOMPARE(spies.address.count(), 1);
        r.setAddress(QString());
        QCOMPARE(spies.address.count(), 2);
        QCOMPARE(r.toMap().value("address"), QVariant(QString()));
    }

    void subscribesAndAsksAgainOnEveryConnection()
    {
        FakeMqtt m(false);
        m.client.setRetryMillis(50);
        Ethernet eth(m.client, "vexa/network");
        m.client.connect();
        QCOMPARE(m.transport->subscriptions, (QStringList { E + "/state", E + "/config" }));
        QCOMPARE(m.transport->publishedTopics(), (QStringList { E + "/state/get", E + "/config/get" }));
        QCOMPARE(m.transport->payloadsOn(E + "/state/get"), (QList<QByteArray> { "{}" }));
        QCOMPARE(m.transport->payloadsOn(E + "/config/get"), (QList<QByteArray> { "{}" }));
        for (const auto& p : qAsConst(m.transport->published))
            QVERIFY(p.qos == 0 && !p.retain);

        m.transport->drop();
        QTRY_COMPARE_WITH_TIMEOUT(m.transport->payloadsOn(E + "/config/get").size(), 2, 10000);
    }

    void stateFillsFieldsAndIpv4SignalsOnlyOnRealChanges()
    {
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        m.client.connect();
        FieldSpies fields(eth.ipv4());
        QSignalSpy ipv4Changed(&eth, &Ethernet::ipv4Changed);
        QSignalSpy iface(&eth, &Ethernet::interfaceChanged);
        QSignalSpy mac(&eth, &Ethernet::macChanged);

        QTest::ignoreMessage(QtInfoMsg, "[Network][Ethernet] Interface changed : eth0");
        m.transport->inject(E + "/state", stateMessage("eth0"));
        QCOMPARE(eth.interface(), QString("eth0"));
        QCOMPARE(eth.type(), QString("802-3-ethernet"));
        QCOMPARE(eth.state(), QString("Activated"));
        QCOMPARE(eth.reason(), QString("None"));
        QCOMPARE(eth.mac(), QString("00:11:22:33:44:55"));
        QCOMPARE(eth.ipv4()->address(), QString("10.0.0.5"));
        QCOMPARE(eth.ipv4()->dns1(), QString("10.0.0.3"));
        QCOMPARE(fields.counts(), (QList<int> { 1, 1, 1, 1, 1 }));
        QCOMPARE(ipv4Changed.count(), 1);

        // All five present and unchanged: the maps are equal, nothing fires.
        m.transport->inject(E + "/state", stateMessage("eth0"));
        QCOMPARE(ipv4Changed.count(), 1);
        QCOMPARE(iface.count(), 1);
        QCOMPARE(mac.count(), 1);

        // A sixth key never matches the record's map: ipv4Changed every time, field signals never.
        m.transport->inject(E + "/state", stateMessage("eth0", ", \"prefix\": 24"));
        m.transport->inject(E + "/state", stateMessage("eth0", ", \"prefix\": 24"));
        QCOMPARE(ipv4Changed.count(), 3);
        QCOMPARE(fields.counts(), (QList<int> { 1, 1, 1, 1, 1 }));

        // An empty payload is an empty object: every field cleared once.
        m.transport->inject(E + "/state", "");
        QCOMPARE(eth.interface(), QString());
        QCOMPARE(eth.mac(), QString());
        QCOMPARE(eth.ipv4()->address(), QString());
        QCOMPARE(fields.counts(), (QList<int> { 2, 2, 2, 2, 2 }));
        QCOMPARE(ipv4Changed.count(), 4);
    }

    void usb0IsDroppedOnBothTopics()
    {
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        m.client.connect();
        m.transport->inject(E + "/state", stateMessage("eth0"));
        m.transport->inject(E + "/config", ConfigMessage);
        QSignalSpy any(&eth, &Ethernet::interfaceChanged);
        QSignalSpy methods(&eth, &Ethernet::methodChanged);
        QSignalSpy ipv4(&eth, &Ethernet::ipv4Changed);
        QSignalSpy config(&eth, &Ethernet::configChanged);
        QSignalSpy macs(&eth, &Ethernet::macChanged);

        QTest::ignoreMessage(QtInfoMsg, qPrintable("[Network][Ethernet] Processing state topic " + E + "/state"));
        m.transport->inject(E + "/state", R"({"interface": "usb0", "mac": "aa:bb", "ipv4": {"address": "1.1.1.1"}})");
        QTest::ignoreMessage(QtInfoMsg, qPrintable("[Network][Ethernet] Processing config topic " + E + "/config"));
        m.transport->inject(E + "/config", R"({"interface": "usb0", "method": "auto", "address": "1.1.1.1"})");

        QCOMPARE(eth.interface(), QString("eth0"));
        QCOMPARE(eth.mac(), QString("00:11:22:33:44:55"));
        QCOMPARE(eth.ipv4()->address(), QString("10.0.0.5"));
        QCOMPARE(eth.method(), QString("manual"));
        QCOMPARE(eth.config()->address(), QString("192.168.1.10"));
        QCOMPARE(any.count() + methods.count() + ipv4.count() + config.count() + macs.count(), 0);
    }

    void configMessagesAndLocalEdits()
    {
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        m.client.connect();
        FieldSpies fields(eth.config());
        QSignalSpy config(&eth, &Ethernet::configChanged);
        QSignalSpy method(&eth, &Ethernet::methodChanged);

        m.transport->inject(E + "/config", ConfigMessage);
        QCOMPARE(eth.method(), QString("manual"));
        QCOMPARE(eth.interface(), QString()); // the config message's interface is not stored
        QCOMPARE(eth.config()->gateway(), QString("192.168.1.1"));
        QCOMPARE(fields.counts(), (QList<int> { 1, 1, 1, 1, 0 }));
        QCOMPARE(config.count(), 1);

        // Identical again: still logged and signalled as a whole, no field fires.
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^\\[Network\\]\\[Ethernet\\] IPv4 changed : "));
        m.transport->inject(E + "/config", ConfigMessage);
        QCOMPARE(config.count(), 2);
        QCOMPARE(method.count(), 1);
        QCOMPARE(fields.counts(), (QList<int> { 1, 1, 1, 1, 0 }));

        // Local edits send nothing and are discarded by the next configuration.
        const int sent = m.transport->published.size();
        eth.setMethod("auto");
        eth.setMethod("auto");
        eth.config()->setAddress("192.168.1.10");
        eth.config()->setAddress("10.1.1.1");
        QCOMPARE(method.count(), 2);
        QCOMPARE(fields.address.count(), 2);
        QCOMPARE(m.transport->published.size(), sent);
        m.transport->inject(E + "/config", ConfigMessage);
        QCOMPARE(eth.method(), QString("manual"));
        QCOMPARE(eth.config()->address(), QString("192.168.1.10"));
    }

    void saveSendsAddressesOnlyForManual_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("auto") << "auto"
                              << QByteArray("{\n"
                                            "    \"address\": \"\",\n"
                                            "    \"dns0\": \"\",\n"
                                            "    \"dns1\": \"\",\n"
                                            "    \"gateway\": \"\",\n"
                                            "    \"interface\": \"eth0\",\n"
                                            "    \"method\": \"auto\",\n"
                                            "    \"netmask\": \"\"\n"
                                            "}\n");
        QTest::newRow("manual") << "manual"
                                << QByteArray("{\n"
                                              "    \"address\": \"192.168.1.10\",\n"
                                              "    \"dns0\": \"8.8.8.8\",\n"
                                              "    \"dns1\": \"\",\n"
                                              "    \"gateway\": \"192.168.1.1\",\n"
                                              "    \"interface\": \"eth0\",\n"
                                              "    \"method\": \"manual\",\n"
                                              "    \"netmask\": \"255.255.255.0\"\n"
                                              "}\n");
        // Anything but exactly "manual" counts as automatic.
        QTest::newRow("Manual") << "Manual"
                                << QByteArray("{\n"
                                              "    \"address\": \"\",\n"
                                              "    \"dns0\": \"\",\n"
                                              "    \"dns1\": \"\",\n"
                                              "    \"gateway\": \"\",\n"
                                              "    \"interface\": \"eth0\",\n"
                                              "    \"method\": \"Manual\",\n"
                                              "    \"netmask\": \"\"\n"
                                              "}\n");
    }
    void saveSendsAddressesOnlyForManual()
    {
        QFETCH(QString, method);
        QFETCH(QByteArray, payload);
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        m.client.connect();
        m.transport->inject(E + "/state", stateMessage("eth0"));
        eth.setMethod(method);
        eth.config()->setAddress("192.168.1.10");
        eth.config()->setMask("255.255.255.0");
        eth.config()->setGateway("192.168.1.1");
        eth.config()->setDns0("8.8.8.8");

        const QStringList block { "Saving configuration", "-------------------------", "Method  : " + method,
            "Address : 192.168.1.10", "Netmask : 255.255.255.0", "Gateway : 192.168.1.1", "DNS     : 8.8.8.8, ",
            "-------------------------" };
        for (const QString& line : block)
            QTest::ignoreMessage(QtInfoMsg, qPrintable("[Network][Ethernet] " + line));
        eth.save();

        QCOMPARE(m.transport->payloadsOn(E + "/config/set"), (QList<QByteArray> { payload }));
        QCOMPARE(m.transport->published.last().qos, quint8(0));
        QVERIFY(!m.transport->published.last().retain);
        QCOMPARE(eth.method(), method); // saving changes nothing locally
        QCOMPARE(eth.config()->address(), QString("192.168.1.10"));
    }

    void addressPattern_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "192.168.1.10" << true;
        QTest::newRow("zeros") << "0.0.0.0" << true;
        QTest::newRow("top") << "255.255.255.255" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("leading zero") << "192.168.01.10" << false;
        QTest::newRow("above 255") << "256.1.1.1" << false;
        QTest::newRow("three parts") << "1.2.3" << false;
        QTest::newRow("trailing dot") << "1.2.3.4." << false;
        QTest::newRow("five parts") << "1.2.3.4.5" << false;
        QTest::newRow("no dots") << "1234" << false;
        QTest::newRow("double dot") << "1.2..3.4" << false;
        QTest::newRow("blank") << " 1.2.3.4" << false;
        QTest::newRow("letters") << "a.b.c.d" << false;
    }
    void addressPattern()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        // Called the way the page calls it.
        bool result = !valid;
        QVERIFY(QMetaObject::invokeMethod(&eth, "isValidAddress", Q_RETURN_ARG(bool, result), Q_ARG(QString, text)));
        QCOMPARE(result, valid);
    }

    void saveCheckOrder_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("fields"); // address, netmask, gateway, dns0, dns1
        QTest::addColumn<QString>("message");
        const QString bad = "256.1.1.1";
        QTest::newRow("auto skips every check") << "auto" << QStringList { "", "", bad, bad, bad } << "";
        QTest::newRow("valid manual") << "manual" << QStringList { "192.168.1.10", "255.255.255.0", "", "", "" } << "";
        QTest::newRow("empty address first")
            << "manual" << QStringList { "", "", bad, bad, bad } << "IPv4 address cannot be empty in 'manual' mode";
        QTest::newRow("empty netmask before invalid address")
            << "manual" << QStringList { bad, "", bad, bad, bad } << "IPv4 netmask cannot be empty in 'manual' mode";
        QTest::newRow("invalid address") << "manual" << QStringList { bad, bad, bad, bad, bad }
                                         << "IPv4 address is not a valid IP address";
        QTest::newRow("invalid netmask") << "manual" << QStringList { "1.2.3.4", bad, bad, bad, bad }
                                         << "IPv4 netmask is not a valid IP address";
        QTest::newRow("invalid gateway") << "manual" << QStringList { "1.2.3.4", "255.0.0.0", bad, bad, bad }
                                         << "IPv4 gateway is not a valid IP address";
        QTest::newRow("invalid dns0") << "manual" << QStringList { "1.2.3.4", "255.0.0.0", "1.2.3.1", bad, bad }
                                      << "IPv4 DNS #0 is not a valid IP address";
        QTest::newRow("invalid dns1") << "manual" << QStringList { "1.2.3.4", "255.0.0.0", "", "", "1.2.3" }
                                      << "IPv4 DNS #1 is not a valid IP address";
    }
    void saveCheckOrder()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        QString result = "unset";
        QVERIFY(QMetaObject::invokeMethod(&eth, "checkConfig", Q_RETURN_ARG(QString, result), Q_ARG(QString, method),
            Q_ARG(QString, fields[0]), Q_ARG(QString, fields[1]), Q_ARG(QString, fields[2]), Q_ARG(QString, fields[3]),
            Q_ARG(QString, fields[4])));
        QCOMPARE(result, message);
    }

    void badInputChangesNothing()
    {
        FakeMqtt m(false);
        Ethernet eth(m.client, "vexa/network");
        m.client.connect();
        m.transport->inject(E + "/state", stateMessage("eth0"));
        m.transport->inject(E + "/config", ConfigMessage);
        QSignalSpy iface(&eth, &Ethernet::interfaceChanged);
        QSignalSpy config(&eth, &Ethernet::configChanged);

        QJsonObject unused;
        QString parserText;
        QVERIFY(!manager::ServiceClient::parseObject("{\"interface\": ", unused, &parserText));
        QTest::ignoreMessage(
            QtCriticalMsg, qPrintable("[Network][Ethernet] Failed to parse JSON message: " + parserText));
        m.transport->inject(E + "/state", "{\"interface\": ");
        QCOMPARE(eth.interface(), QString("eth0"));
        QCOMPARE(iface.count(), 0);

        // Wrong types read as empty; an array document is an empty object.
        m.transport->inject(E + "/config", R"({"interface": 7, "method": ["manual"], "address": 10, "netmask": {}})");
        QCOMPARE(eth.method(), QString());
        QCOMPARE(eth.config()->address(), QString());
        QCOMPARE(eth.config()->mask(), QString());
        m.transport->inject(E + "/state", "[1, 2]");
        QCOMPARE(eth.interface(), QString());
        m.transport->inject(E + "/state", R"({"interface": "eth1", "ipv4": "10.0.0.5"})");
        QCOMPARE(eth.interface(), QString("eth1"));
        QCOMPARE(eth.ipv4()->address(), QString());

        // Topics merely sharing the prefix, and other services, are ignored.
        m.transport->inject(E + "/state/get", R"({"interface": "eth9"})");
        m.transport->inject("vexa/board/state", R"({"interface": "eth9"})");
        QCOMPARE(eth.interface(), QString("eth1"));
    }
};

QTEST_GUILESS_MAIN(TestEthernet)
#include "tst_ethernet.moc"
