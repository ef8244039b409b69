import QtQuick 2.15

ScanPage {
    mode: 1
    hint: manager.dynTr + qsTr("SCAN YOUR\nTICKET")
    buttonText: manager.dynTr + qsTr("SCAN\nCARD")
    buttonIcon: "qrc:/qml/images/Icons/nfc.svg"
    otherPage: "ScanCard"
}
