#include "FakeTransport.h"

int FakeTransport::publish(const QString& topic, const QByteArray& payload, quint8 qos, bool retain)
{
    if (state() != Connected)
        return -1;
    published.append({ topic, payload, qos, retain });
    if (!m_peer)
        return 0;
    for (const QString& filter : qAsConst(m_peer->subscriptions)) {
        if (!matches(filter, topic))
            continue;
        // Delivered from the event loop, as a broker would, never inside the
        // publisher's own call.
        QPointer<FakeTransport> peer = m_peer;
        QMetaObject::invokeMethod(
            peer,
            [peer, topic, payload] {
                if (peer)
                    peer->inject(topic, payload);
            },
            Qt::QueuedConnection);
        break;
    }
    return 0;
}

void FakeTransport::wire(FakeTransport* a, FakeTransport* b)
{
    a->m_peer = b;
    b->m_peer = a;
}

bool FakeTransport::matches(const QString& filter, const QString& topic)
{
    const QStringList f = filter.split(QLatin1Char('/'));
    const QStringList t = topic.split(QLatin1Char('/'));
    for (int i = 0; i < f.size(); ++i) {
        if (f.at(i) == QLatin1String("#"))
            return true;
        if (i >= t.size() || (f.at(i) != QLatin1String("+") && f.at(i) != t.at(i)))
            return false;
    }
    return f.size() == t.size();
}
