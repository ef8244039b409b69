// The device id file read by the manager: the input is the file's content.
#include "FuzzSupport.h"
#include "GuiRig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GuiRig& h = fuzz::gui();
    // Two files in turn, so that every input is a change of file and read again.
    static bool flip = false;
    flip = !flip;
    const QString file = h.path(QLatin1String(flip ? "id-a" : "id-b"));
    fuzz::writeFile(file, QByteArray(reinterpret_cast<const char*>(data), int(size)));
    h.config->set(QStringLiteral("gui/deviceId"), file);
    fuzz::drain();
    const QString id = h.gui->deviceId();
    if (id.contains(QLatin1Char('\n')))
        __builtin_trap(); // only the first line is the id
    return 0;
}
