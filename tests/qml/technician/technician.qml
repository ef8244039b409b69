import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.2

// The network, update and event log pages pushed on a stack as the settings page
// does, against the real clients ("device" plays the services).
Item {
    id: root
    width: 480
    height: 730

    Component { id: stackComponent; StackView { anchors.fill: parent; initialItem: Item {} } }

    TestCase {
        name: "TechnicianPages"
        when: windowShown

        readonly property string ethernet: "vexa/network/ethernet"

        function open(file) {
            var stack = createTemporaryObject(stackComponent, root)
            stack.push(Qt.resolvedUrl("qrc:/qml/screens/settings/" + file), {}, StackView.Immediate)
            return stack
        }

        function item(stack, name) {
            var found = findChild(stack.currentItem, name)
            verify(found, name)
            return found
        }

        function choose(combo, index) {
            combo.currentIndex = index
            combo.activated(index)
        }

        function openEthernet(method) {
            device.clear()
            device.inject(ethernet + "/config", JSON.stringify({ "interface": "eth0", "method": method }))
            return open("EthernetConfig.qml")
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
                { tag: "empty gateway", address: "192.168.1.10", mask: "255.255.255.0", gateway: "", problem: "" }
            ]
        }

        function test_ethernetSave(data) {
            var stack = openEthernet("auto")
            var address = item(stack, "field_address")
            verify(!address.enabled)
            choose(item(stack, "modeChoice"), 1)
            tryCompare(address, "enabled", true)
            address.text = data.address
            address.editingFinished()
            compare(address.invalid, !network.ethernet.isValidAddress(data.address))
            item(stack, "field_mask").text = data.mask
            item(stack, "field_gateway").text = data.gateway
            var popup = item(stack, "ethernetMessage")
            mouseClick(item(stack, "ethernetSaveButton"))

            var sent = device.sent(ethernet + "/config/set")
            if (data.problem !== "") {
                tryCompare(popup, "opened", true)
                compare(popup.text, data.problem)
                compare([stack.depth, sent.length], [2, 0])
                popup.close()
                return
            }
            tryCompare(stack, "depth", 1)
            compare(sent.length, 1)
            var request = JSON.parse(sent[0])
            compare([request.method, request.address, request.netmask, request.gateway],
                    ["manual", "192.168.1.10", "255.255.255.0", ""])
            compare(network.ethernet.method, "manual")
        }

        function test_leavingUnsavedRestoresMode() {
            var stack = openEthernet("auto")
            choose(item(stack, "modeChoice"), 1)
            compare(network.ethernet.method, "manual")
            mouseClick(item(stack, "ethernetBackButton"))
            tryCompare(network.ethernet, "method", "auto")

            // The same when the settings page pops it (header back, log-out).
            stack = openEthernet("manual")
            choose(item(stack, "modeChoice"), 0)
            stack.pop(null, StackView.Immediate)
            tryCompare(network.ethernet, "method", "manual")
            compare(device.sent(ethernet + "/config/set"), [])
        }

        function test_eventLogFilters() {
            device.pushEvent("Ignition on", 0)
            device.pushEvent("Ignition off", 3)
            device.pushEvent("Application started", 0)
            var stack = open("EventLog.qml")
            var list = item(stack, "eventList")
            tryCompare(list, "count", 3)
            choose(item(stack, "periodChoice"), 3)    // "Today"
            tryCompare(list, "count", 2)
            item(stack, "searchField").text = "IGNITION"
            tryCompare(list, "count", 1)

            // The next visit shows the whole history, as its choices say.
            stack.pop(StackView.Immediate)
            stack.push(Qt.resolvedUrl("qrc:/qml/screens/settings/EventLog.qml"), {}, StackView.Immediate)
            tryCompare(item(stack, "eventList"), "count", 3)
        }

        function test_installOnlyWhenReady() {
            var install = item(open("Update.qml"), "installButton")
            var status = function(pending, progress) {
                device.inject("vexa/device/status", JSON.stringify({ "update": { "software": { "pending": pending } } }))
                if (progress)
                    device.inject("vexa/device/update/software/progress", JSON.stringify({ "message": progress }))
            }
            device.clear()
            status("")
            compare([manager.update.status, install.enabled], ["No pending updates", false])
            status("1.5.0", "12/40")
            compare([manager.update.status, install.enabled], ["Downloading", false])
            status("1.5.0")
            compare([manager.update.status, install.enabled], ["Ready to install", true])
            mouseClick(install)
            compare(device.sent("vexa/device/update/software/install"), [""])
        }
    }
}
