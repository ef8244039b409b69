// One service client on a fake broker connection, fed the input as messages on
// its subscribed topics (or on any topic the input names).
#include "FakeTransport.h"
#include "FuzzSupport.h"
#include "MqttClient.h"
#include TICORA_FUZZ_HEADER

namespace {

// The base topic the program gives each client.
QString baseOf(const char* client)
{
    const QString c = QString::fromLatin1(client);
    if (c == QLatin1String("Board"))
        return QStringLiteral("vexa/board");
    if (c == QLatin1String("Inspector"))
        return QStringLiteral("vexa/inspector");
    if (c == QLatin1String("Validator"))
        return QStringLiteral("vexa/blm");
    if (c == QLatin1String("Network"))
        return QStringLiteral("vexa/network");
    return QStringLiteral("vexa/device");
}

#define TICORA_STR2(x) #x
#define TICORA_STR(x) TICORA_STR2(x)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    {
        FakeMqtt mqtt;
        manager::TICORA_FUZZ_CLIENT client(mqtt.client, baseOf(TICORA_STR(TICORA_FUZZ_CLIENT)));
        for (const fuzz::Message& m : fuzz::messages(data, size, mqtt.transport->subscriptions)) {
            mqtt.transport->inject(m.topic, m.payload);
            fuzz::drain();
        }
    }
    fuzz::drain();
    return 0;
}
