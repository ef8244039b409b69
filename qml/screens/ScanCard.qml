import QtQuick 2.15

ScanPage {
    mode: 0
    hint: manager.dynTr + qsTr("SCAN\nYOUR CARD")
    buttonText: manager.dynTr + qsTr("SCAN\nTICKET")
    buttonIcon: "qrc:/qml/images/Icons/qr-code.svg"
    otherPage: "ScanBarcode"
}
