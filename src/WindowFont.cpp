#include "WindowFont.h"

#include <QByteArray>
#include <QDebug>
#include <QFontDatabase>
#include <QResource>

// From the resource data in place where it is stored uncompressed: no private copy
// (a font loader in the window would keep a second one for the whole run).
void registerWindowFont()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QResource font(QStringLiteral(":/qml/fonts/DejaVuSans.ttf"));
    int id = -1;
    if (font.isValid() && font.compressionAlgorithm() == QResource::NoCompression)
        id = QFontDatabase::addApplicationFontFromData(
            QByteArray::fromRawData(reinterpret_cast<const char*>(font.data()), int(font.size())));
    else
        id = QFontDatabase::addApplicationFont(font.fileName());
    if (id < 0)
        qWarning().noquote() << "[GUIManager] WARN: Could not load the font " << font.fileName();
}
