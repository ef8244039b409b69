#pragma once

#include "Config.h"
#include "FakeTransport.h"
#include "GUIManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

// A GUIManager on a temporary settings file, device id file and event log, talking
// to a fake broker connection; no QML loaded.
struct GuiFixture {
    QTemporaryDir dir;
    std::unique_ptr<Config> config;
    std::unique_ptr<GUIManager> gui;
    FakeTransport* transport = nullptr;

    explicit GuiFixture(const QString& deviceId = QStringLiteral("K12345678"), const QVariantMap& settings = {})
    {
        const QString idFile = dir.filePath(QStringLiteral("serialnumber"));
        if (!deviceId.isNull()) {
            QFile f(idFile);
            f.open(QIODevice::WriteOnly);
            f.write(deviceId.toUtf8());
        }
        QVariantMap defaults = GUIManager::Defaults;
        defaults.insert(QStringLiteral("gui/deviceId"), idFile);
        defaults.insert(QStringLiteral("log/syslog"), false);
        defaults.insert(QStringLiteral("log/stderr"), false);
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            defaults.insert(it.key(), it.value());
        config = std::make_unique<Config>(dir.filePath(QStringLiteral("gui.conf")), defaults);
        GUIManager::Options options;
        options.transport = [this] {
            transport = new FakeTransport();
            return transport;
        };
        options.eventLogPath = dir.filePath(QStringLiteral("events.ini"));
        options.mqttRetryMillis = 100;
        gui = std::make_unique<GUIManager>(*config, options);
    }

    void inject(const QString& topic, const QJsonObject& object)
    {
        transport->inject(topic, QJsonDocument(object).toJson(QJsonDocument::Compact));
    }

    // Validator status messages by outcome.
    static QJsonObject validatorStatus(bool init, bool rfid, bool route, bool qr, bool obu)
    {
        return QJsonObject{{"service", true},
                           {"state", QJsonObject{{"init", init}, {"hasRfid", rfid}, {"hasRoute", route},
                                                 {"hasQr", qr}, {"hasObu", obu}}}};
    }
    void setValidator(const QString& status)
    {
        if (status == QLatin1String("online"))
            inject("vexa/blm/status", validatorStatus(false, true, true, true, true));
        else if (status == QLatin1String("degraded"))
            inject("vexa/blm/status", validatorStatus(false, true, true, false, true));
        else if (status == QLatin1String("init"))
            inject("vexa/blm/status", validatorStatus(true, true, true, true, true));
        else if (status == QLatin1String("out-of-service"))
            inject("vexa/blm/status", validatorStatus(false, true, false, true, true));
        else if (status == QLatin1String("offline"))
            inject("vexa/blm/status", QJsonObject{{"service", false}});
    }
    void setIgnition(bool on)
    {
        inject("vexa/board/status",
               QJsonObject{{"service", true}, {"device", QJsonObject{{"active", true}, {"ignition", on}}}});
    }
    void scan(const QJsonObject& transaction)
    {
        inject("vexa/blm/rfid/scanned", QJsonObject{{"transaction", transaction}});
    }
    QStringList soundsPlayed() const
    {
        QStringList out;
        for (const QByteArray& p : transport->payloadsOn("vexa/inspector/audio/play"))
            out << QJsonDocument::fromJson(p).object().value("filepath").toString();
        return out;
    }
    int countOn(const QString& topic) const { return transport->payloadsOn(topic).size(); }
};
