import QtQuick 2.15
import "../controls"
import "frames.js" as Frames

// One frame of a scan animation, 480 x 536. Every frame is a picture cropped to
// its content and decoded the first time it is shown, then kept: stepping through
// the frames only switches which picture is visible, it never decodes again.
// Pictures are shared with the other scan pages through the image cache.
Item {
    id: root

    // 0: card animation, 1: ticket animation.
    property int mode: 0
    property int frame: 0
    // The picture drawn now.
    readonly property url source: currentFrame ? currentFrame.source : ""
    readonly property var currentFrame: (mode === 0 ? Frames.nfc : Frames.barcode)[frame]

    width: 480
    height: 536

    Repeater {
        model: Frames.nfc.concat(Frames.barcode)

        Image {
            objectName: "scanFramePicture"
            readonly property bool current: index === (root.mode === 0 ? root.frame : Frames.nfc.length + root.frame)
                                            && root.visible
            property bool used: false

            x: modelData.x
            y: modelData.y
            visible: current
            source: used ? Theme.picture(modelData.source) : ""
            cache: true
            smooth: false
            onCurrentChanged: if (current) used = true
            Component.onCompleted: if (current) used = true
        }
    }
}
