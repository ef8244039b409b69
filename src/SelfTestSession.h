#pragma once

#include <QObject>
#include <QString>

class Diagnostics;
class GUIManager;
class Transaction;

namespace manager {
class Board;
class Validator;
} // namespace manager

// One visit of the diagnostics page: it runs the periodic checks, owns what the open
// interactive checks switched on (LED pattern, light-sensor monitoring, the card and
// barcode readers), undoes exactly that when a check ends or the visit is cut short,
// and writes the technician's answers into the results.
class SelfTestSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool active READ active NOTIFY activeChanged)

public:
    // screens: whose screen tells whether the technician still holds the readers; none
    // means he always does.
    SelfTestSession(Diagnostics& diagnostics, manager::Board& board, manager::Validator& validator,
        const GUIManager* screens, QObject* parent = nullptr);

    // Between begin() and the end of the visit.
    bool active() const { return m_active; }

    // The page opened: the checks run, and every card tap or validated ticket passes
    // the scan checks. The visit ends by itself when the settings screen goes away.
    Q_INVOKABLE void begin();
    // The page closes (or the visit was cut short): whatever a check still has on is
    // switched off, and the checks stop. Once only.
    Q_INVOKABLE void end();

    // A Yes or No in the dialog of the check whose result is named.
    Q_INVOKABLE void answer(const QString& result, bool yes);

    Q_INVOKABLE void startLeds();
    Q_INVOKABLE void stopLeds();
    Q_INVOKABLE void startLightSensor();
    Q_INVOKABLE void stopLightSensor();
    Q_INVOKABLE void startCardReader();
    Q_INVOKABLE void stopCardReader();
    Q_INVOKABLE void startBarcodeReader();
    Q_INVOKABLE void stopBarcodeReader();

    // Switches the barcode reader off, unless the settings screen is already gone: the
    // idle rule has then set the readers for the passengers, and switching one off
    // would leave them with a dead reader.
    Q_INVOKABLE void releaseBarcodeReader();

signals:
    void activeChanged();

private:
    bool technicianOwnsReaders() const;
    void onScreenChanged();
    void onCardDetected();
    void onTicketValidated(const Transaction&);

    Diagnostics& m_diagnostics;
    manager::Board& m_board;
    manager::Validator& m_validator;
    const GUIManager* m_screens;
    bool m_active = false;
    bool m_ledsFlashing = false;
    bool m_monitoring = false;
    bool m_rfidEnabled = false;
    bool m_barcodeEnabled = false;
    QList<QMetaObject::Connection> m_visit;
};
