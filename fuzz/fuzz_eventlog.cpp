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
    {
        EventManager log(*config, file);
        log.applyFilterPeriod(QStringLiteral("week"));
        log.push(new Event(
            QStringLiteral("General"), QStringLiteral("Fuzz"), QStringLiteral("entry"), QDateTime::currentDateTime()));
    }
    // Read again what the rewrite left. (No count is compared: the settings class caches
    // a file by size and time stamp, and a rename within the same millisecond can show
    // the old content to a second reader in this process; the program reads it once.)
    EventManager(*config, file).events();
    fuzz::drain();
    return 0;
}
