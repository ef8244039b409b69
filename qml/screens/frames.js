.pragma library

// Written by scripts/crop-frames.sh: each frame of the two scan animations as a
// picture cropped to its content and the offset of that picture within the
// full 480 x 536 frame.

var nfc = [
    { "source": "qrc:/qml/images/NFC/cropped/0.png", "x": 9, "y": 24 },
    { "source": "qrc:/qml/images/NFC/cropped/1.png", "x": 16, "y": 90 },
    { "source": "qrc:/qml/images/NFC/cropped/2.png", "x": 56, "y": 131 },
    { "source": "qrc:/qml/images/NFC/cropped/3.png", "x": 56, "y": 131 },
    { "source": "qrc:/qml/images/NFC/cropped/4.png", "x": 56, "y": 131 },
    { "source": "qrc:/qml/images/NFC/cropped/5.png", "x": 56, "y": 131 },
    { "source": "qrc:/qml/images/NFC/cropped/0.png", "x": 9, "y": 24 },
]

var barcode = [
    { "source": "qrc:/qml/images/Barcode/cropped/0.png", "x": 77, "y": 2 },
    { "source": "qrc:/qml/images/Barcode/cropped/1.png", "x": 77, "y": 32 },
    { "source": "qrc:/qml/images/Barcode/cropped/2.png", "x": 77, "y": 62 },
    { "source": "qrc:/qml/images/Barcode/cropped/3.png", "x": 60, "y": 64 },
    { "source": "qrc:/qml/images/Barcode/cropped/4.png", "x": 60, "y": 64 },
    { "source": "qrc:/qml/images/Barcode/cropped/5.png", "x": 60, "y": 64 },
    { "source": "qrc:/qml/images/Barcode/cropped/6.png", "x": 60, "y": 64 },
    { "source": "qrc:/qml/images/Barcode/cropped/7.png", "x": 77, "y": 49 },
    { "source": "qrc:/qml/images/Barcode/cropped/8.png", "x": 77, "y": 28 },
]
