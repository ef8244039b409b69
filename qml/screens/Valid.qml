import QtQuick 2.15
import "../controls"

ValidOutcome {
    screenName: "Valid"
    symbol: "qrc:/qml/images/Icons/valid.svg"
    symbolColor: Theme.valid
    title: manager.dynTr + qsTr("VALID")
    titleSize: Theme.titleLarge
    captions: ({
        "remaining": manager.dynTr + qsTr("Remaining"),
        "trips": manager.dynTr + qsTr("Trips"),
        "balance": manager.dynTr + qsTr("Balance"),
        "deducted": manager.dynTr + qsTr("Deducted"),
        "expires": manager.dynTr + qsTr("Expires")
    })
    units: ({
        "day": manager.dynTr + qsTr("day"),
        "days": manager.dynTr + qsTr("days"),
        "hour": manager.dynTr + qsTr("hour"),
        "hours": manager.dynTr + qsTr("hours"),
        "min": manager.dynTr + qsTr("min"),
        "mins": manager.dynTr + qsTr("mins")
    })
}
