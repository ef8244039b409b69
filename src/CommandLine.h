#pragma once

#include <QStringList>
#include <QVariantMap>

#include <vector>

// Turns the application's command line into configuration overrides (keys such as
// "log/level" or "mqtt/host", plus "config" for the settings file name). Prints
// help or version and exits, or exits with status 1 on a command-line error.
QVariantMap parseCLIArgs();

// True when the command line only asks for help or the version, or is wrong: that
// is answered before any platform plug-in is loaded (a technician's SSH session on
// a unit has no display). Give it the arguments without the GUI application's own.
bool commandLineEndsEarly(int argc, char** argv);
std::vector<char*> withoutGuiOptions(int argc, char** argv);

// The same for a given argument list (program name first), without printing or
// exiting: when the command line asks to end (help, version, error), `exitCode` is
// set and `exitText` holds what would have been printed.
struct CommandLineExit {
    int exitCode = -1; // -1: carry on
    QString exitText;
};
QVariantMap parseCLIArgs(const QStringList& arguments, CommandLineExit* exit);
