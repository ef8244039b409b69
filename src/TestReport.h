#pragma once

#include <QDateTime>
#include <QString>

class Diagnostics;

namespace manager {
class Board;
class Validator;
} // namespace manager

// The self-test's results as the report file a technician leaves on the device and
// as the shorter summary its QR code carries.
class TestReport
{
public:
    TestReport(const Diagnostics& results, const QString& deviceId, const manager::Board& board,
        const manager::Validator& validator)
        : m_results(results)
        , m_deviceId(deviceId)
        , m_board(board)
        , m_validator(validator)
    {
    }

    QString text(const QDateTime& when) const;
    QString summary(const QDateTime& when) const;

    struct Saved
    {
        bool ok = false;
        QString fileName;
        QString error;
    };
    // Writes the report of that moment into dir as TestReport_<yyyyMMdd_hhmm>.txt,
    // replacing one of the same minute.
    Saved save(const QString& dir, const QDateTime& when) const;

private:
    QString samUid() const;
    QString boardFirmware() const;

    const Diagnostics& m_results;
    const QString& m_deviceId;
    const manager::Board& m_board;
    const manager::Validator& m_validator;
};
