#pragma once

#include "Broker.h"
#include "MqttClient.h"

// Points a test's own client at the test broker, retrying quickly after a loss.
inline void pointAtBroker(manager::MqttClient& client, const Broker& broker, const QString& clientId)
{
    client.setHostname(broker.host());
    client.setPort(broker.port());
    client.setClientId(clientId);
    client.setRetryMillis(200);
}
