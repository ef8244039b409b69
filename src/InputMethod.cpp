#include "InputMethod.h"

#include <QDir>
#include <QLibraryInfo>

QByteArray chooseInputMethod(const QStringList& pluginDirs)
{
    bool haveQtKeyboard = false;
    for (const QString& dir : pluginDirs) {
        const QStringList files = QDir(dir + QStringLiteral("/platforminputcontexts")).entryList(QDir::Files);
        for (const QString& f : files) {
            if (f.contains(QLatin1String("freevirtualkeyboard")))
                return QByteArrayLiteral("freevirtualkeyboard");
            if (f.contains(QLatin1String("qtvirtualkeyboardplugin")))
                haveQtKeyboard = true;
        }
    }
    return haveQtKeyboard ? QByteArrayLiteral("qtvirtualkeyboard") : QByteArrayLiteral("freevirtualkeyboard");
}

QStringList inputMethodPluginDirs()
{
    QStringList dirs;
    const QString env = QString::fromLocal8Bit(qgetenv("QT_PLUGIN_PATH"));
    for (const QString& d : env.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        dirs << d;
    dirs << QLibraryInfo::location(QLibraryInfo::PluginsPath);
    return dirs;
}

void useInputMethod(const QByteArray& module)
{
    qputenv("QT_IM_MODULE", module);
    // Otherwise Qt's keyboard opens a window of its own whenever a field takes
    // focus where no page hosts the keyboard yet (pages build it when first shown),
    // and a kiosk X server without a window manager puts that window at the top.
    if (module == "qtvirtualkeyboard" && !qEnvironmentVariableIsSet("QT_VIRTUALKEYBOARD_DESKTOP_DISABLE"))
        qputenv("QT_VIRTUALKEYBOARD_DESKTOP_DISABLE", "1");
}
