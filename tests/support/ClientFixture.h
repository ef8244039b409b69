#pragma once

#include "FakeTransport.h"
#include "LogCapture.h"
#include "SignalLog.h"

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
