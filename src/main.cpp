#include "Config.h"
#include "GUIManager.h"

#include <QGuiApplication>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    Config config(QStringLiteral("gui.conf"), GUIManager::Defaults);
    config.print();
    return app.exec();
}
