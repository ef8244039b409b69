// The whole manager with every service client, fed the input as messages on any
// subscribed topic, its own service's requests ("config/set" and the rest) included.
#include "FuzzSupport.h"
#include "GuiRig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GuiRig& h = fuzz::gui();
    // Sorted, so that a selector byte means the same topic in every run.
    QStringList topics = h.transport->subscriptions;
    topics.removeDuplicates();
    topics.sort();
    for (const fuzz::Message& m : fuzz::messages(data, size, topics)) {
        h.transport->inject(m.topic, m.payload);
        fuzz::drain();
    }
    h.transport->published.clear();
    return 0;
}
