import QtQuick 2.15
import "../controls"

ValidOutcome {
    screenName: "AlreadyValid"
    symbol: "qrc:/qml/images/Icons/warning.svg"
    symbolColor: Theme.warning
    title: manager.dynTr + qsTr("ALREADY VALIDATED")
    titleSize: Theme.titleMedium
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
