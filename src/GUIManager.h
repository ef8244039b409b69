#pragma once

#include <QObject>
#include <QVariantMap>

// Owns the QML engine, the MQTT client and every service client; decides the screen.
class GUIManager : public QObject
{
    Q_OBJECT
public:
    // The built-in configuration: every key of the system with its default value.
    static const QVariantMap Defaults;
};
