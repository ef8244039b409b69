#pragma once

#include "FakeTransport.h"
#include "LogCapture.h"
#include "SignalLog.h"

#include <QtTest>

// One service client on a connected fake broker, recording its log lines and signals,
// with the start-up refresh cleared away.
template <typename Client>
struct ClientFixture {
    LogCapture log;
    FakeMqtt m{false};
    Client client;
    SignalLog signals_;
    const QString base;

    ClientFixture(const QString& tag, const QString& baseTopic)
        : log(tag), client(m.client, baseTopic), signals_(&client), base(baseTopic)
    {
        m.client.setRetryMillis(50);
        m.client.connect();
        reset();
    }
    void reset()
    {
        m.transport->published.clear();
        log.clear();
        signals_.clear();
    }
    void inject(const char* suffix, const QByteArray& payload)
    {
        m.transport->inject(base + QLatin1String(suffix), payload);
    }
    // The one publication made since the last reset, or an empty record.
    FakeTransport::Published only() const
    {
        if (m.transport->published.size() != 1)
            return {};
        return m.transport->published.first();
    }
};

// What every client with a refresh keeps: it subscribes once when made, asks for its data
// ("{}", QoS 0, not retained) when the connection comes up, and asks again after a lost
// connection (the subscriptions are renewed by the MQTT client, not by it).
template <typename Client>
void checkRefreshOnConnection(
    const QString& tag, const QString& base, const QStringList& subscriptions, const QStringList& gets)
{
    LogCapture log(tag);
    FakeMqtt m(false);
    m.client.setRetryMillis(50);
    Client client(m.client, base);
    QCOMPARE(log.lines(QtInfoMsg), QStringList { QStringLiteral("Subscribing to topics") });
    m.client.connect();

    QCOMPARE(m.transport->subscriptions, subscriptions);
    QCOMPARE(m.transport->publishedTopics(), gets);
    for (const auto& p : m.transport->published) {
        QCOMPARE(p.payload, QByteArray("{}"));
        QCOMPARE(p.qos, quint8(0));
        QCOMPARE(p.retain, false);
    }
    QVERIFY(log.lines().contains(QStringLiteral("Refreshing data")));

    m.transport->drop();
    QTRY_COMPARE_WITH_TIMEOUT(m.transport->published.size(), 2 * gets.size(), 15000);
    QCOMPARE(m.transport->publishedTopics(), gets + gets);
    QCOMPARE(m.transport->subscriptions, subscriptions + subscriptions);
}

// The monitor: a refresh at once, not after the first interval, then one every interval;
// a negative interval is refused and leaves it running; 0 stops it.
template <typename Client>
void checkMonitor(ClientFixture<Client>& f)
{
    auto refreshes = [&f] { return f.log.lines().count(QStringLiteral("Refreshing data")); };
    f.client.monitor(20);
    QCOMPARE(refreshes(), 1);
    QVERIFY(f.log.has(QtInfoMsg, QStringLiteral("Monitor started : 20 msec(s)")));
    QTRY_VERIFY_WITH_TIMEOUT(refreshes() >= 3, 15000);

    f.client.monitor(-1);
    const int before = refreshes();
    QTRY_VERIFY_WITH_TIMEOUT(refreshes() > before, 15000);

    f.client.monitor(0);
    QVERIFY(f.log.has(QtInfoMsg, QStringLiteral("Monitor stopped")));
    const int count = f.m.transport->published.size();
    QTest::qWait(150); // proving an absence: nothing to wait for
    QCOMPARE(f.m.transport->published.size(), count);
}
