// The program's command line: the input, split at NUL bytes, is the argument list.
#include "CommandLine.h"
#include "FuzzSupport.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    QStringList args { QStringLiteral("ticora") };
    for (const QByteArray& a : QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)).split('\0'))
        args.append(QString::fromLocal8Bit(a));
    CommandLineExit exit;
    const QVariantMap overrides = parseCLIArgs(args, &exit);
    // Ending and carrying on exclude each other.
    if (exit.exitCode >= 0 && !overrides.isEmpty())
        __builtin_trap();
    return 0;
}
