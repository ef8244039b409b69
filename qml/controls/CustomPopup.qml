import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "."

// A modal message. The dialog form asks Yes/No and stays until answered;
// the plain form goes away on any tap.
Popup {
    id: root

    property bool isDialog: false
    property string text
    property url imageSource
    property size imageSize: Qt.size(200, 200)
    // Shown round the image; a QR code needs a light margin to be read on a dark pop-up.
    property color imageBackground: "transparent"
    readonly property int imageFrame: imageBackground.a > 0 ? 8 : 0
    property real windowWidth: 400
    property real windowHeight: 200
    readonly property bool hasImage: imageSource.toString() !== ""

    signal buttonYesPressed()
    signal buttonNoPressed()

    modal: true
    focus: true
    anchors.centerIn: parent
    padding: 0
    width: windowWidth
    height: windowHeight + (hasImage ? 100 : 0)
    closePolicy: isDialog ? Popup.NoAutoClose : Popup.CloseOnReleaseOutside

    background: Rectangle {
        color: Material.background
        border.color: Material.accent
        border.width: 2
        radius: 4
    }

    contentItem: Item {
        // A tap anywhere inside closes the plain form.
        MouseArea {
            anchors.fill: parent
            enabled: !root.isDialog
            onClicked: root.close()
        }

        Text {
            id: message
            objectName: "popupText"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: root.hasImage ? image.top : (root.isDialog ? buttons.top : parent.bottom)
            anchors.margins: 15
            text: root.text
            color: Material.foreground
            font.family: Theme.fontFamily
            font.pointSize: Theme.caption
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.WordWrap
        }

        Rectangle {
            anchors.fill: image
            anchors.margins: -root.imageFrame
            visible: root.hasImage
            color: root.imageBackground
        }

        Image {
            id: image
            visible: root.hasImage
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: root.isDialog ? buttons.top : parent.bottom
            anchors.bottomMargin: 10 + root.imageFrame
            width: root.imageSize.width
            height: visible ? root.imageSize.height : 0
            sourceSize: root.imageSize
            fillMode: Image.PreserveAspectFit
            source: root.imageSource
        }

        Row {
            id: buttons
            visible: root.isDialog
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 15
            spacing: 60

            CustomButton {
                objectName: "popupYes"
                width: 100
                height: 40
                radius: 4
                color: Material.accent
                textColor: Material.foreground
                textFontPointSize: 16
                textBold: true
                textLetterSpacing: 1.2
                text: qsTr("Yes") + root.retranslate
                onClicked: {
                    root.buttonYesPressed()
                    root.close()
                }
            }
            CustomButton {
                objectName: "popupNo"
                width: 100
                height: 40
                radius: 4
                color: Material.accent
                textColor: Material.foreground
                textFontPointSize: 16
                textBold: true
                textLetterSpacing: 1.2
                text: qsTr("No") + root.retranslate
                onClicked: {
                    root.buttonNoPressed()
                    root.close()
                }
            }
        }
    }

    // Controls see no context objects: the host passes manager.dynTr here so the
    // button labels follow a language switch.
    property string retranslate: ""
}
