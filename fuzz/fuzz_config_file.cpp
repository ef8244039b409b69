// The settings store reading a settings file of arbitrary text, then saving it.
#include "Config.h"
#include "FuzzSupport.h"
#include "SettingsKeys.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QString file = QDir(fuzz::scratchDir()).filePath(QStringLiteral("gui.conf"));
    fuzz::writeFile(file, QByteArray(reinterpret_cast<const char*>(data), int(size)));
    {
        Config config(file, manager::keys::defaults());
        config.toJson();
        config.print();
        config.save();
        Config again(file, manager::keys::defaults());
        again.toJson();
    }
    fuzz::drain();
    return 0;
}
