import QtQuick 2.15
import QtQuick.VirtualKeyboard 2.15

InputPanel {
}
