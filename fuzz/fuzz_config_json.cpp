// The settings store fed a configuration object from the wire, then read back.
#include "Config.h"
#include "FuzzSupport.h"
#include "SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QString file = QDir(fuzz::scratchDir()).filePath(QStringLiteral("gui.conf"));
    QFile::remove(file);
    const QJsonDocument doc
        = QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));
    {
        Config config(file, manager::keys::defaults());
        config.fromJson(doc.object());
        const QJsonObject round = config.toJson();
        // What was stored must survive the file: a second store reads the same.
        Config again(file, manager::keys::defaults());
        if (again.toJson().keys() != round.keys())
            __builtin_trap();
        config.print();
    }
    fuzz::drain();
    return 0;
}
