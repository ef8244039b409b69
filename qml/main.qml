import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import "controls"

// The window: header, one loader per screen, the error pop-up. The GUI manager
// names the screen; only the two scan pages switch between themselves.
ApplicationWindow {
    id: window
    objectName: "mainWindow"

    property string currentScreen: "Busy"
    readonly property var screens: [
        { "name": "InitPage", "source": "qrc:/qml/screens/InitPage.qml" },
        { "name": "Busy", "source": "qrc:/qml/screens/Busy.qml" },
        { "name": "ScanCard", "source": "qrc:/qml/screens/ScanCard.qml" },
        { "name": "ScanBarcode", "source": "qrc:/qml/screens/ScanBarcode.qml" },
        { "name": "ScanScreens", "source": "qrc:/qml/screens/ScanScreens.qml" },
        { "name": "Valid", "source": "qrc:/qml/screens/Valid.qml" },
        { "name": "Invalid", "source": "qrc:/qml/screens/Invalid.qml" },
        { "name": "AlreadyValid", "source": "qrc:/qml/screens/AlreadyValid.qml" },
        { "name": "Retry", "source": "qrc:/qml/screens/Retry.qml" },
        { "name": "OutOfOrder", "source": "qrc:/qml/screens/OutOfOrder.qml" },
        { "name": "OutOfService", "source": "qrc:/qml/screens/OutOfService.qml" },
        { "name": "ScreenSaver", "source": "qrc:/qml/screens/ScreenSaver.qml" },
        { "name": "Settings", "source": "qrc:/qml/screens/settings/Main.qml" },
        { "name": "Login", "source": "qrc:/qml/screens/settings/Login.qml" }
    ]

    x: 0
    y: -1
    width: 480
    height: 800
    visible: true
    title: "Validator"
    font.family: Theme.fontFamily

    // A kiosk X server has no window manager to give the window input focus; without
    // it the on-screen keyboard hides again as soon as it shows.
    Component.onCompleted: requestActivate()
    onVisibleChanged: {
        if (visible)
            requestActivate()
    }

    Connections {
        target: manager
        function onScreenChanged() {
            console.log("[QML] Screen changed : " + manager.screen)
            window.currentScreen = manager.screen
        }
        function onErrorOccured(error) {
            console.log("[QML] Error occured : " + error)
            errorPopup.text = error
            errorPopup.open()
        }
        function onLanguageChanged() {
            window.locale = Qt.locale(manager.language)
        }
    }

    // Behind everything, header area included.
    Image {
        parent: window.contentItem
        z: -1
        y: -header.height
        width: window.width
        height: parent.height + header.height
        source: Theme.picture("qrc:/qml/images/background.png")
        // Drawn at its own size: filtering would change no pixel, only cost a
        // software rasteriser time at every frame.
        smooth: false
        fillMode: Image.Stretch
    }

    header: Header {
        id: header
        visible: window.currentScreen !== "Settings" && window.currentScreen !== "ScreenSaver"
        language: manager.language
        locale: window.locale
        onMagicButtonPressed: manager.setMaintenanceScreen()
        onLanguageSelected: function(next) { manager.language = next }
    }

    // The first frame shows the busy page: only it and the resting scan prompt are
    // built before that frame. The other passenger screens are built in the
    // background right after it, then the rarely used ones (serial number, screen
    // saver, the technician's screens and the two single-animation scan pages), so
    // every screen still exists for the whole run. A screen called for before it is
    // complete is finished at once, so a screen change never waits for more than its
    // own page.
    property bool firstFrameShown: false
    property int backgroundScreensBuilt: 0
    readonly property var builtBeforeFirstFrame: ["Busy", "ScanScreens"]
    readonly property var builtLast: ["InitPage", "ScreenSaver", "Login", "Settings", "ScanCard", "ScanBarcode"]
    readonly property int backgroundScreens: screens.length - builtBeforeFirstFrame.length - builtLast.length

    Connections {
        target: window
        enabled: !window.firstFrameShown
        function onAfterAnimating() { window.firstFrameShown = true }
    }

    Repeater {
        id: screenLoaders
        model: window.screens

        Loader {
            id: loader
            objectName: "screen_" + modelData.name
            readonly property string screenName: modelData.name
            readonly property bool shown: window.currentScreen === screenName
            readonly property string stage: window.builtBeforeFirstFrame.indexOf(screenName) >= 0 ? "eager"
                                          : window.builtLast.indexOf(screenName) >= 0 ? "last" : "background"
            readonly property bool due: stage === "eager"
                                        || (stage === "background" && window.firstFrameShown)
                                        || (stage === "last" && window.backgroundScreensBuilt >= window.backgroundScreens)
            readonly property bool wanted: shown || due
            anchors.fill: parent
            // Set once and never cleared: a built screen lives for the whole run.
            active: false
            onWantedChanged: if (wanted) active = true
            Component.onCompleted: if (wanted) active = true
            asynchronous: !shown && stage !== "eager"
            source: modelData.source
            visible: shown
            onLoaded: if (stage === "background") window.backgroundScreensBuilt++

            Connections {
                target: loader.item
                ignoreUnknownSignals: true
                function onSwitchRequested(name) {
                    window.currentScreen = name
                }
            }
        }
    }

    CustomPopup {
        id: errorPopup
        objectName: "errorPopup"
        isDialog: false
        retranslate: manager.dynTr
    }

    // Only chooses the cursor shape; disabled so it never takes a touch.
    MouseArea {
        parent: window.contentItem
        anchors.fill: parent
        enabled: false
        cursorShape: manager.showCursor ? Qt.ArrowCursor : Qt.BlankCursor
        z: 2000
    }

    Label {
        parent: window.contentItem
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 10
        z: 1500
        text: "v" + Qt.application.version
        font.pixelSize: Theme.versionPixels
        color: Material.color(Material.Grey, Material.Shade700)
    }
}
