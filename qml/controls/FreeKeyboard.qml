import QtQuick 2.15
import QtQuick.FreeVirtualKeyboard 1.0

InputPanel {
}
