#pragma once

#include "Config.h"
#include "FakeTransport.h"
#include "FuzzSupport.h"
#include "GUIManager.h"

#include <QDir>

namespace fuzz {

// One GUIManager on a fake broker connection and scratch files, built on first use
// and kept: it owns a QML engine, far too costly to build per input. Logging stays
// off and the device id file stays in the scratch folder whatever the input sets.
struct GuiHarness
{
    Config* config = nullptr;
    GUIManager* gui = nullptr;
    FakeTransport* transport = nullptr;

    static GuiHarness& instance()
    {
        static GuiHarness h;
        return h;
    }

    QString path(const char* name) const { return QDir(scratchDir()).filePath(QString::fromLatin1(name)); }

private:
    GuiHarness()
    {
        init(true);
        writeFile(path("serialnumber"), QByteArrayLiteral("K12345678\n"));
        QVariantMap defaults = GUIManager::Defaults;
        defaults.insert(QStringLiteral("gui/deviceId"), path("serialnumber"));
        config = new Config(path("gui.conf"), defaults);
        config->addOverrides({ { QStringLiteral("log/stderr"), false }, { QStringLiteral("log/syslog"), false },
            { QStringLiteral("gui/deviceId"), path("serialnumber") } });
        GUIManager::Options options;
        options.transport = [this] {
            transport = new FakeTransport();
            return transport;
        };
        options.eventLogPath = path("events.ini");
        options.mqttRetryMillis = 100;
        gui = new GUIManager(*config, options);
        drain();
    }
};

} // namespace fuzz
