import QtQuick 2.15
import QtQuick.Controls 2.15

// The floor: a bare window of the panel's size. With "stepping" set, one picture
// changes every 300 ms (two pictures decoded once and shown in turn), the least a
// resting scan prompt can cost.
ApplicationWindow {
    id: window
    width: 480
    height: 800
    visible: true
    title: "Floor"

    property bool stepping: floorStepping
    property int step: 0

    Image {
        visible: window.stepping && window.step % 2 === 0
        source: window.stepping ? "qrc:/qml/images/NFC/cropped/0.png" : ""
    }

    Image {
        visible: window.stepping && window.step % 2 === 1
        source: window.stepping ? "qrc:/qml/images/NFC/cropped/1.png" : ""
    }

    Timer {
        interval: 300
        repeat: true
        running: window.stepping
        onTriggered: window.step++
    }
}
