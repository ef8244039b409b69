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
