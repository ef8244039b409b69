import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "technician.js" as Rules

// The device's networking as the network service reports it: the primary
// connection, and the Ethernet port with the way into its configuration.
Item {
    id: page
    objectName: "networkPage"

    readonly property var primary: network.primaryConnection
    readonly property var ethernet: network.ethernet

    TabBar {
        id: tabs
        objectName: "networkTabs"
        anchors.left: parent.left
        anchors.right: parent.right
        currentIndex: swipe.currentIndex

        TabButton { text: "General" }
        TabButton { text: "Ethernet" }
    }

    SwipeView {
        id: swipe
        objectName: "networkSwipe"
        anchors.top: tabs.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        currentIndex: tabs.currentIndex
        clip: true

        Item {
            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 20
                spacing: 4

                Label {
                    text: manager.dynTr + qsTr("Primary Connection")
                    font.pointSize: Theme.fieldPoints
                    color: Material.accent
                    Layout.bottomMargin: 8
                }
                StatusRow {
                    Layout.fillWidth: true
                    title: "Connection State"
                    value: network.connectionState
                    valueClass: Rules.connectionStateClass(value)
                }
                StatusRow {
                    Layout.fillWidth: true
                    title: "Connectivity"
                    value: network.connectivity
                    valueClass: Rules.connectivityClass(value)
                }
                StatusRow { Layout.fillWidth: true; title: "Hostname"; value: network.hostname }
                StatusRow { Layout.fillWidth: true; title: "Connection Type"; value: page.primary.type }
                StatusRow { Layout.fillWidth: true; title: "Interface"; value: page.primary.interface }
                StatusRow { Layout.fillWidth: true; title: "IPv4 Address"; value: page.primary.ipv4.address }
                StatusRow { Layout.fillWidth: true; title: "IPv4 Netmask"; value: page.primary.ipv4.mask }
                StatusRow { Layout.fillWidth: true; title: "IPv4 Gateway"; value: page.primary.ipv4.gateway }
                StatusRow { Layout.fillWidth: true; title: "IPv4 DNS"; value: page.primary.ipv4.dns0 }
                Item { Layout.fillHeight: true }
            }
        }

        Item {
            ColumnLayout {
                anchors.fill: parent
                anchors.leftMargin: 20
                anchors.rightMargin: 20
                anchors.topMargin: 20
                anchors.bottomMargin: configure.height + 60
                spacing: 4

                Label {
                    text: "Connection State"
                    font.pointSize: Theme.fieldPoints
                    color: Material.accent
                    Layout.bottomMargin: 8
                }
                StatusRow {
                    objectName: "ethernetStateRow"
                    Layout.fillWidth: true
                    title: "State"
                    value: page.ethernet.state
                    valueClass: Rules.connectionStateClass(value)
                }
                StatusRow { Layout.fillWidth: true; title: "IPv4 Address"; value: page.ethernet.ipv4.address }
                StatusRow { Layout.fillWidth: true; title: "IPv4 Netmask"; value: page.ethernet.ipv4.mask }
                StatusRow { Layout.fillWidth: true; title: "IPv4 Gateway"; value: page.ethernet.ipv4.gateway }
                StatusRow { Layout.fillWidth: true; title: "IPv4 DNS#0"; value: page.ethernet.ipv4.dns0 }
                StatusRow { Layout.fillWidth: true; title: "IPv4 DNS#1"; value: page.ethernet.ipv4.dns1 }
                StatusRow { Layout.fillWidth: true; title: "MAC"; value: page.ethernet.mac }
                StatusRow { Layout.fillWidth: true; title: "Interface"; value: page.ethernet.interface }
                StatusRow { Layout.fillWidth: true; title: "State Change Reason"; value: page.ethernet.reason }
                Item { Layout.fillHeight: true }
            }

            Button {
                id: configure
                objectName: "configureEthernetButton"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.leftMargin: 20
                anchors.rightMargin: 20
                anchors.bottomMargin: 50
                height: 60
                highlighted: true
                text: "Configure"
                onClicked: {
                    if (page.StackView.view)
                        page.StackView.view.push(Qt.resolvedUrl("EthernetConfig.qml"))
                }
            }
        }
    }
}
