#include "SelfTestSession.h"

#include "Board.h"
#include "Diagnostics.h"
#include "DiagnosticsLog.h"
#include "GUIManager.h"
#include "Validator.h"

namespace {
const QString kSettingsScreen = QStringLiteral("Settings");
const QString kOk = QStringLiteral("OK");

// A check's stop runs once for its start, whether the check is answered or cut short.
template <typename Stop> void switchOff(bool& on, Stop stop)
{
    if (!on)
        return;
    on = false;
    stop();
}
} // namespace

SelfTestSession::SelfTestSession(Diagnostics& diagnostics, manager::Board& board, manager::Validator& validator,
    const GUIManager* screens, QObject* parent)
    : QObject(parent)
    , m_diagnostics(diagnostics)
    , m_board(board)
    , m_validator(validator)
    , m_screens(screens)
{
}

void SelfTestSession::begin()
{
    if (m_active)
        return;
    m_active = true;
    // Made now, after the GUI manager's own reactions, so that the idle rule has set the
    // readers by the time a change of screen ends the visit.
    if (m_screens)
        m_visit << connect(m_screens, &GUIManager::screenChanged, this, &SelfTestSession::onScreenChanged);
    m_visit << connect(&m_validator, &manager::Validator::cardDetected, this, &SelfTestSession::onCardDetected);
    m_visit << connect(&m_validator, &manager::Validator::ticketValidated, this, &SelfTestSession::onTicketValidated);
    emit activeChanged();
    m_diagnostics.start();
}

void SelfTestSession::end()
{
    if (!m_active)
        return;
    for (const QMetaObject::Connection& c : qAsConst(m_visit))
        disconnect(c);
    m_visit.clear();
    stopLeds();
    stopLightSensor();
    stopCardReader();
    stopBarcodeReader();
    m_active = false;
    emit activeChanged();
    m_diagnostics.stop();
}

void SelfTestSession::answer(const QString& result, bool yes)
{
    using Setter = void (Diagnostics::*)(const QString&);
    static const QHash<QString, Setter> setters {
        { QStringLiteral("buzzer"), &Diagnostics::setBuzzer },
        { QStringLiteral("leds"), &Diagnostics::setLeds },
        { QStringLiteral("speaker"), &Diagnostics::setSpeaker },
        { QStringLiteral("barcodeScan"), &Diagnostics::setBarcodeScan },
        { QStringLiteral("cardScan"), &Diagnostics::setCardScan },
        { QStringLiteral("lightSensor"), &Diagnostics::setLightSensor },
        { QStringLiteral("rgbTest"), &Diagnostics::setRgbTest },
    };
    const Setter setter = setters.value(result);
    if (!setter) {
        DIAG_LOG(qWarning) << "WARN: Ignoring answer to unknown check : " << result;
        return;
    }
    (m_diagnostics.*setter)(yes ? kOk : QStringLiteral("ERROR"));
}

void SelfTestSession::startLeds()
{
    m_ledsFlashing = true;
    m_board.setLedTestPattern();
}
void SelfTestSession::stopLeds()
{
    switchOff(m_ledsFlashing, [this] { m_board.setLedOff(); });
}

void SelfTestSession::startLightSensor()
{
    m_monitoring = true;
    m_board.monitor(2000);
}
void SelfTestSession::stopLightSensor()
{
    switchOff(m_monitoring, [this] { m_board.monitor(0); });
}

void SelfTestSession::startCardReader()
{
    m_rfidEnabled = true;
    m_validator.enableRfid();
}
void SelfTestSession::stopCardReader()
{
    switchOff(m_rfidEnabled, [this] {
        if (technicianOwnsReaders())
            m_validator.disableRfid();
    });
}

void SelfTestSession::startBarcodeReader()
{
    m_barcodeEnabled = true;
    m_validator.enableBarcode();
}
void SelfTestSession::stopBarcodeReader()
{
    switchOff(m_barcodeEnabled, [this] { releaseBarcodeReader(); });
}

void SelfTestSession::releaseBarcodeReader()
{
    if (technicianOwnsReaders())
        m_validator.disableBarcode();
}

bool SelfTestSession::technicianOwnsReaders() const { return !m_screens || m_screens->screen() == kSettingsScreen; }

void SelfTestSession::onScreenChanged()
{
    if (m_screens->screen() != kSettingsScreen)
        end();
}

void SelfTestSession::onCardDetected() { m_diagnostics.setCardScan(kOk); }

void SelfTestSession::onTicketValidated(const Transaction&) { m_diagnostics.setBarcodeScan(kOk); }
