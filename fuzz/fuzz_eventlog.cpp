// The event log loading an events file of arbitrary text, then adding an entry
// (which rewrites the file) and loading that again.
#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "FuzzSupport.h"
#include "GUIManager.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    static Config* config
        = new Config(QDir(fuzz::scratchDir()).filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    const QString file = QDir(fuzz::scratchDir()).filePath(QStringLiteral("events.ini"));
    fuzz::writeFile(file, QByteArray(reinterpret_cast<const char*>(data), int(size)));
    int loaded = 0;
    {
        EventManager log(*config, file);
        loaded = log.events().size();
        log.applyFilterPeriod(QStringLiteral("week"));
        log.push(new Event(
            QStringLiteral("General"), QStringLiteral("Fuzz"), QStringLiteral("entry"), QDateTime::currentDateTime()));
    }
    {
        EventManager log(*config, file);
        // Nothing read before may be lost by the rewrite.
        if (log.events().size() < qMin(loaded + 1, EventManager::MaxLoaded))
            __builtin_trap();
    }
    fuzz::drain();
    return 0;
}
