#pragma once

#include <QVariantMap>

// Turns the application's command line into configuration overrides (keys such as
// "log/level" or "mqtt/host", plus "config" for the settings file name). Prints
// help or version and exits, or exits with status 1 on a command-line error.
QVariantMap parseCLIArgs();
