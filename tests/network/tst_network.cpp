#include "ClientFixture.h"
#include "Network.h"

#include <QSignalSpy>
#include <QtTest>

using manager::Connection;
using manager::Network;

namespace {

const QString B = QStringLiteral("vexa/network");

const QVariantMap FullIpv4 { { "address", "10.0.0.5" }, { "netmask", "255.255.255.0" }, { "gateway", "10.0.0.1" },
    { "dns0", "10.0.0.2" }, { "dns1", "10.0.0.3" } };

const QByteArray StatusMessage = R"({"stateStr": "Connected", "connectivityStr": "Full", "hostname": "vx-17",
    "primaryConnection": {"interface": "eth0", "stateStr": "Activated", "typeStr": "ethernet",
        "ipv4": {"address": "10.0.0.5", "netmask": "255.255.255.0", "gateway": "10.0.0.1",
                 "dns0": "10.0.0.2", "dns1": "10.0.0.3"}}})";

struct ConnectionSpies
{
    QSignalSpy interface, state, type, ipv4, address;
    explicit ConnectionSpies(Connection* c)
        : interface(c, &Connection::interfaceChanged)
        , state(c, &Connection::stateChanged)
        , type(c, &Connection::typeChanged)
        , ipv4(c, &Connection::ipv4Changed)
        , address(c->ipv4(), &IPv4::addressChanged)
    {
    }
    QList<int> counts() const
    {
        return { interface.count(), state.count(), type.count(), ipv4.count(), address.count() };
    }
};

} // namespace

class TestNetwork : public QObject
{
    Q_OBJECT
private slots:
    void connectionFromMap()
    {
        const QVariantMap map { { "interface", "eth0" }, { "stateStr", "Activated" }, { "typeStr", "ethernet" },
            { "ipv4", FullIpv4 } };
        Connection built(map);
        QCOMPARE(built.interface(), QString("eth0"));
        QCOMPARE(built.ipv4()->gateway(), QString("10.0.0.1"));

        Connection c;
        ConnectionSpies spies(&c);
        IPv4* const record = c.ipv4();
        QCOMPARE(&c.fromMap(map), &c);
        QCOMPARE(spies.counts(), (QList<int> { 1, 1, 1, 1, 1 }));
        c.fromMap(map);
        QCOMPARE(spies.counts(), (QList<int> { 1, 1, 1, 1, 1 }));

        // A key beyond the five, or an empty field the record never held, keeps the
        // maps unequal: ipv4Changed each time, the field signals only on real changes.
        QVariantMap withPrefix = map;
        QVariantMap ipv4 = FullIpv4;
        ipv4.insert("prefix", 24);
        withPrefix.insert("ipv4", ipv4);
        c.fromMap(withPrefix);
        c.fromMap(withPrefix);
        QCOMPARE(spies.counts(), (QList<int> { 1, 1, 1, 3, 1 }));

        Connection fresh;
        ConnectionSpies freshSpies(&fresh);
        const QVariantMap partial { { "interface", "wwan0" },
            { "ipv4", QVariantMap { { "address", "1.2.3.4" }, { "dns1", "" } } } };
        fresh.fromMap(partial);
        fresh.fromMap(partial);
        QCOMPARE(freshSpies.counts(), (QList<int> { 1, 0, 0, 2, 1 }));

        // A missing member clears its field.
        c.fromMap({ { "stateStr", "Activated" } });
        QCOMPARE(c.interface(), QString());
        QCOMPARE(c.type(), QString());
        QCOMPARE(c.ipv4()->address(), QString());
        QCOMPARE(spies.counts(), (QList<int> { 2, 1, 2, 4, 2 }));
        QCOMPARE(c.ipv4(), record);
    }

    void subscribesListensAndOwnsEthernet()
    {
        FakeMqtt m(false);
        Network net(m.client, B);
        m.client.connect();
        QVERIFY(net.ethernet());
        QCOMPARE(net.ethernet()->parent(), &net);
        QCOMPARE(net.ethernet()->base(), B + "/ethernet");
        QCOMPARE(m.transport->subscriptions,
            (QStringList { B + "/ethernet/state", B + "/ethernet/config", B + "/info", B + "/status" }));
        // Only the Ethernet object asks for anything.
        QCOMPARE(
            m.transport->publishedTopics(), (QStringList { B + "/ethernet/state/get", B + "/ethernet/config/get" }));
    }

    void statusRule()
    {
        FakeMqtt m(false);
        Network net(m.client, B);
        m.client.connect();
        QSignalSpy state(&net, &Network::connectionStateChanged);
        QSignalSpy connectivity(&net, &Network::connectivityChanged);
        QSignalSpy hostname(&net, &Network::hostnameChanged);
        QSignalSpy primary(&net, &Network::primaryConnectionChanged);
        ConnectionSpies conn(net.primaryConnection());

        m.transport->inject(B + "/status", StatusMessage);
        QCOMPARE(net.connectionState(), QString("Connected"));
        QCOMPARE(net.connectivity(), QString("Full"));
        QCOMPARE(net.hostname(), QString("vx-17"));
        QCOMPARE(net.primaryConnection()->type(), QString("ethernet"));
        QCOMPARE(net.primaryConnection()->ipv4()->dns1(), QString("10.0.0.3"));
        QVERIFY(!net.isConnected());

        m.transport->inject(B + "/status", StatusMessage);
        QCOMPARE(state.count(), 1);
        QCOMPARE(connectivity.count(), 1);
        QCOMPARE(hostname.count(), 1);
        QCOMPARE(primary.count(), 2);
        QCOMPARE(conn.counts(), (QList<int> { 1, 1, 1, 1, 1 }));

        // The Ethernet topics share the base but belong to the Ethernet object.
        m.transport->inject(B + "/ethernet/state", R"({"stateStr": "Disconnected", "interface": "eth0"})");
        QCOMPARE(net.connectionState(), QString("Connected"));
        QCOMPARE(primary.count(), 2);
        QCOMPARE(net.ethernet()->state(), QString("Disconnected"));

        m.transport->inject(B + "/info", R"({"service": {"version": "2.1"}})");
        QCOMPARE(primary.count(), 2);

        m.transport->inject(B + "/status", "");
        QCOMPARE(net.connectionState(), QString());
        QCOMPARE(net.connectivity(), QString());
        QCOMPARE(net.hostname(), QString());
        QCOMPARE(net.primaryConnection()->interface(), QString());
        QCOMPARE(net.primaryConnection()->ipv4()->address(), QString());
        QCOMPARE(hostname.count(), 2);
        QCOMPARE(primary.count(), 3);
    }

    void badInput()
    {
        FakeMqtt m(false);
        Network net(m.client, B);
        m.client.connect();
        m.transport->inject(B + "/status", StatusMessage);
        QSignalSpy primary(&net, &Network::primaryConnectionChanged);

        QJsonObject unused;
        QString parserText;
        QVERIFY(!manager::ServiceClient::parseObject("{\"stateStr\" \"x\"}", unused, &parserText));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable("[Network] Failed to parse JSON message: " + parserText));
        m.transport->inject(B + "/status", "{\"stateStr\" \"x\"}");
        QCOMPARE(net.hostname(), QString("vx-17"));
        QCOMPARE(primary.count(), 0);

        m.transport->inject(B + "/status", R"({"stateStr": 3, "hostname": "vx-18", "primaryConnection": "eth0"})");
        QCOMPARE(net.connectionState(), QString());
        QCOMPARE(net.hostname(), QString("vx-18"));
        QCOMPARE(net.primaryConnection()->interface(), QString());
        m.transport->inject(
            B + "/status", R"({"primaryConnection": {"interface": ["eth0"], "typeStr": "wifi", "ipv4": [1]}})");
        QCOMPARE(net.primaryConnection()->interface(), QString());
        QCOMPARE(net.primaryConnection()->type(), QString("wifi"));
    }

    void monitorRepeatsRefresh()
    {
        ClientFixture<Network> f(QStringLiteral("[Network] "), B);
        checkMonitor(f);
    }
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
