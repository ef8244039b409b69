import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.2

// The network, Ethernet configuration, update and event log pages, each pushed on
// a stack as the settings page does, against the real clients ("device" plays the
// services and records what the pages send).
Item {
    id: root
    width: 480
    height: 610

    Component {
        id: stackComponent
        // The menu list stands at the bottom, as on the settings page.
        StackView { anchors.fill: parent; initialItem: Item {} }
    }

    TestCase {
        name: "TechnicianPages"
        when: windowShown

        readonly property string ethernetTopic: "vexa/network/ethernet"

        function open(file) {
            var stack = createTemporaryObject(stackComponent, root)
            stack.push(Qt.resolvedUrl("qrc:/qml/screens/settings/" + file), {}, StackView.Immediate)
            verify(stack.currentItem, file)
            return stack
        }

        function item(parent, name) {
            var found = findChild(parent, name)
            verify(found, name)
            return found
        }

        function choose(combo, index) {
            combo.currentIndex = index
            combo.activated(index)
        }

        function ethernetConfig(method) {
            device.inject(ethernetTopic + "/state", JSON.stringify({ "interface": "eth0", "stateStr": "Connected" }))
            device.inject(ethernetTopic + "/config", JSON.stringify({
                "interface": "eth0", "method": method, "address": "", "netmask": "", "gateway": "",
                "dns0": "", "dns1": "" }))
            compare(network.ethernet.method, method)
        }

        function init() {
            device.clear()
        }

        function cleanup() {
            compare(device.warnings, [])
        }

        function test_ethernetSave_data() {
            return [
                { tag: "empty address first", address: "", mask: "", gateway: "x",
                  problem: "IPv4 address cannot be empty in 'manual' mode" },
                { tag: "empty netmask before a bad address", address: "1.2.3", mask: "", gateway: "",
                  problem: "IPv4 netmask cannot be empty in 'manual' mode" },
                { tag: "leading zeros", address: "192.168.001.010", mask: "255.255.255.0", gateway: "",
                  problem: "IPv4 address is not a valid IP address" },
                { tag: "part above 255", address: "192.168.1.10", mask: "255.255.255.0", gateway: "256.1.1.1",
                  problem: "IPv4 gateway is not a valid IP address" },
                { tag: "empty gateway", address: "192.168.1.10", mask: "255.255.255.0", gateway: "",
                  problem: "" }
            ]
        }

        function test_ethernetSave(data) {
            ethernetConfig("auto")
            var stack = open("EthernetConfig.qml")
            var page = stack.currentItem
            var address = item(page, "field_address")
            verify(!address.enabled)
            choose(item(page, "modeChoice"), 1)
            compare(network.ethernet.method, "manual")
            tryCompare(address, "enabled", true)

            address.text = data.address
            address.editingFinished()
            compare(address.invalid, !network.ethernet.isValidAddress(data.address))
            item(page, "field_mask").text = data.mask
            item(page, "field_gateway").text = data.gateway
            mouseClick(item(page, "saveButton"))

            var popup = item(page, "ethernetMessage")
            if (data.problem !== "") {
                tryCompare(popup, "opened", true)
                compare(popup.text, data.problem)
                compare(stack.depth, 2)
                compare(device.sent(ethernetTopic + "/config/set"), [])
                popup.close()
                tryCompare(popup, "visible", false)
                return
            }
            compare(popup.opened, false)
            tryCompare(stack, "depth", 1)
            var sent = device.sent(ethernetTopic + "/config/set")
            compare(sent.length, 1)
            var request = JSON.parse(sent[0])
            compare(request.method, "manual")
            compare(request.address, "192.168.1.10")
            compare(request.netmask, "255.255.255.0")
            compare(request.gateway, "")
            // Saved: the mode stays as chosen until the service answers.
            compare(network.ethernet.method, "manual")
        }

        function test_leavingUnsavedRestoresMode() {
            ethernetConfig("auto")
            var stack = open("EthernetConfig.qml")
            choose(item(stack.currentItem, "modeChoice"), 1)
            compare(network.ethernet.method, "manual")
            mouseClick(item(stack.currentItem, "backButton"))
            tryCompare(stack, "depth", 1)
            tryCompare(network.ethernet, "method", "auto")

            // The same when the settings page pops it (header back, log-out).
            ethernetConfig("manual")
            stack = open("EthernetConfig.qml")
            choose(item(stack.currentItem, "modeChoice"), 0)
            compare(network.ethernet.method, "auto")
            stack.pop(null, StackView.Immediate)
            compare(stack.depth, 1)
            tryCompare(network.ethernet, "method", "manual")
            compare(device.sent(ethernetTopic + "/config/set"), [])
        }

        function test_eventLogFilters() {
            device.pushEvent("Ignition on", 0)
            device.pushEvent("Ignition off", 3)
            device.pushEvent("Application started", 0)
            var stack = open("EventLog.qml")
            var list = item(stack.currentItem, "eventList")
            tryCompare(list, "count", 3)

            choose(item(stack.currentItem, "periodChoice"), 3)    // "Today"
            tryCompare(list, "count", 2)
            var search = item(stack.currentItem, "searchField")
            search.text = "IGNITION"
            tryCompare(list, "count", 1)
            mouseClick(item(stack.currentItem, "clearSearchButton"))
            compare(search.text, "")
            tryCompare(list, "count", 2)

            // A new visit shows the whole history again, as its choices say.
            stack.pop(StackView.Immediate)
            stack = open("EventLog.qml")
            tryCompare(item(stack.currentItem, "eventList"), "count", 3)
        }

        function test_installOnlyWhenReady() {
            var stack = open("Update.qml")
            var install = item(stack.currentItem, "installButton")
            var status = function(pending) {
                device.inject("vexa/device/status", JSON.stringify({
                    "update": { "software": { "current": "1.4.2", "pending": pending } } }))
            }
            status("")
            compare(manager.update.status, "No pending updates")
            verify(!install.enabled)
            compare(item(stack.currentItem, "value_" + "Pending Version").text, "None")

            status("1.5.0")
            compare(manager.update.status, "Ready to install")
            verify(install.enabled)
            device.inject("vexa/device/update/software/progress",
                          JSON.stringify({ "message": "Installing", "progress": 10, "version": "1.5.0" }))
            compare(manager.update.status, "Installing")
            verify(!install.enabled)
            compare(device.sent("vexa/device/update/software/install"), [])

            status("1.5.0")
            mouseClick(install)
            compare(device.sent("vexa/device/update/software/install"), [""])
        }
    }
}
