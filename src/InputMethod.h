#pragma once

#include <QByteArray>
#include <QStringList>

// The on-screen keyboard input method to ask the platform for: the device's own
// "freevirtualkeyboard" plug-in when installed, else Qt's virtual keyboard when that
// is installed, else "freevirtualkeyboard" all the same (no keyboard then).
// pluginDirs are the folders that hold "platforminputcontexts".
QByteArray chooseInputMethod(const QStringList& pluginDirs);

// The plug-in folders the platform searches, readable before the application exists.
QStringList inputMethodPluginDirs();

// Asks the platform for this input method; read when the application object is
// created. With Qt's virtual keyboard, only the keyboard the pages host is used.
void useInputMethod(const QByteArray& module);
