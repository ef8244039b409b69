#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>

class SessionManager;

namespace manager {
class Board;
class Inspector;
class Network;
class Validator;
} // namespace manager

// A maintenance barcode scanned during a technician session: applies the validator's
// back-office address and the Ethernet settings it carries, each only when valid.
class MaintenanceBarcode : public QObject
{
    Q_OBJECT
public:
    MaintenanceBarcode(SessionManager& session, manager::Validator& validator, manager::Network& network,
        manager::Board& board, manager::Inspector& inspector, QObject* parent = nullptr);

    void apply(const QJsonObject& object);

signals:
    // One line per value taken, for the technician to read.
    void applied(const QStringList& configList);
    void rejected(const QString& problem);

private:
    void applyValidator(const QJsonObject& validator, QStringList& applied);
    void applyEthernet(const QJsonValue& eth0Value, QStringList& applied);

    SessionManager& m_session;
    manager::Validator& m_validator;
    manager::Network& m_network;
    manager::Board& m_board;
    manager::Inspector& m_inspector;
};
