#pragma once

#include <QString>

namespace manager::topics {

// The card and barcode reader services keep fixed topics of their own, whatever base
// topics the other services are configured with. The clients and the simulator both
// use these, so the two sides cannot drift apart.
inline const QString RfidEnable = QStringLiteral("vexa/rfid/enable");
inline const QString RfidDisable = QStringLiteral("vexa/rfid/disable");
inline const QString CardFound = QStringLiteral("vexa/rfid/card/found");
inline const QString CardRemoved = QStringLiteral("vexa/rfid/card/removed");
inline const QString BarcodeEnable = QStringLiteral("vexa/barcode/enable");
inline const QString BarcodeDisable = QStringLiteral("vexa/barcode/disable");

} // namespace manager::topics
