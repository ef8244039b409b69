// A validation record as the validator service sends it: every property read.
#include "FuzzSupport.h"
#include "Transaction.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QJsonDocument doc
        = QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));
    const Transaction t(doc.object());
    const QVariantMap map = t.toMap();
    // The record must reach QML as a JSON-representable value.
    QJsonDocument::fromVariant(map).toJson();
    (void)t.ticketId();
    (void)t.ticket();
    return 0;
}
