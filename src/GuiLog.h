#pragma once

#include <QDebug>

// The GUI manager's log tag, shared by the classes that do its work: the lines read
// as they always have, whichever helper writes them.
#define GUI_LOG(level) level().noquote().nospace() << "[GUIManager] "

namespace gui {

inline const QString ValidSound = QStringLiteral("/opt/vexa/ticora/Valid.wav");
inline const QString InvalidSound = QStringLiteral("/opt/vexa/ticora/Invalid.wav");

} // namespace gui
