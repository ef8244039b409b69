#include "MaintenanceBarcode.h"

#include "Board.h"
#include "Ethernet.h"
#include "GuiLog.h"
#include "IPv4.h"
#include "Inspector.h"
#include "Network.h"
#include "SessionManager.h"
#include "Validator.h"
#include "ValidatorConfig.h"

#include <QUrl>

MaintenanceBarcode::MaintenanceBarcode(SessionManager& session, manager::Validator& validator,
    manager::Network& network, manager::Board& board, manager::Inspector& inspector, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_validator(validator)
    , m_network(network)
    , m_board(board)
    , m_inspector(inspector)
{
}

void MaintenanceBarcode::apply(const QJsonObject& object)
{
    GUI_LOG(qInfo) << "Maintenance Barcode scanned";
    if (!m_session.sessionActive()) {
        GUI_LOG(qWarning) << "WARN: Maintenance session is not active. Ignoring.";
        return;
    }
    QStringList applied;
    if (object.contains(QLatin1String("validator")))
        applyValidator(object.value(QLatin1String("validator")).toObject(), applied);
    const QJsonObject network = object.value(QLatin1String("network")).toObject();
    if (network.contains(QLatin1String("eth0")))
        applyEthernet(network.value(QLatin1String("eth0")), applied);
    if (!applied.isEmpty()) {
        m_inspector.audioPlay(gui::ValidSound);
        m_board.setLedValid();
        emit this->applied(applied);
    }
}

void MaintenanceBarcode::applyValidator(const QJsonObject& validator, QStringList& applied)
{
    const QString obc = validator.value(QLatin1String("obc")).toString();
    const QUrl url(obc, QUrl::TolerantMode);
    if (url.isValid() && !obc.isEmpty()) {
        GUI_LOG(qInfo) << "Applying Validator configuration";
        applied << QStringLiteral("OBC : %1").arg(url.toString(QUrl::RemovePassword));
        m_validator.config()->setObuUrl(url);
        m_validator.saveConfig();
    } else {
        GUI_LOG(qWarning) << "WARN: OBC URL is not valid : " << obc;
    }
}

void MaintenanceBarcode::applyEthernet(const QJsonValue& eth0Value, QStringList& applied)
{
    const QJsonObject eth0 = eth0Value.toObject();
    // A member that is not text is read as empty, and said so.
    auto text = [&eth0](const char* k) {
        const QJsonValue v = eth0.value(QLatin1String(k));
        if (!v.isUndefined() && !v.isString())
            GUI_LOG(qWarning) << "WARN: Ignoring invalid value of '" << k << "' in the Ethernet configuration";
        return v.toString();
    };
    manager::Ethernet* ethernet = m_network.ethernet();
    if (!eth0Value.isObject()) {
        // Junk here must not switch the device to automatic addressing.
        GUI_LOG(qWarning) << "WARN: Ethernet configuration is not valid. Ignoring.";
        return;
    }
    if (ethernet->interface() != QLatin1String("eth0")) {
        GUI_LOG(qWarning) << "WARN: Active ethernet interface is not 'eth0' : " << ethernet->interface();
        return;
    }
    const QString problem = ethernet->checkConfig(
        text("method"), text("address"), text("netmask"), text("gateway"), text("dns0"), text("dns1"));
    if (!problem.isEmpty()) {
        // One bad code must not cut the unit off the network.
        GUI_LOG(qWarning) << "WARN: Ethernet configuration is not valid : " << problem;
        emit rejected(problem);
        return;
    }
    const QString method = text("method");
    applied << QStringLiteral("Method : %1").arg(method) << QStringLiteral("Address : %1").arg(text("address"))
            << QStringLiteral("Netmask : %1").arg(text("netmask"))
            << QStringLiteral("Gateway : %1").arg(text("gateway")) << QStringLiteral("DNS #0 : %1").arg(text("dns0"))
            << QStringLiteral("DNS #1 : %1").arg(text("dns1"));
    const bool manual = method == QLatin1String("manual");
    ethernet->setMethod(manual ? QStringLiteral("manual") : QStringLiteral("auto"));
    IPv4* config = ethernet->config();
    config->setAddress(manual ? text("address") : QString());
    config->setMask(manual ? text("netmask") : QString());
    config->setGateway(manual ? text("gateway") : QString());
    config->setDns0(manual ? text("dns0") : QString());
    config->setDns1(manual ? text("dns1") : QString());
    GUI_LOG(qInfo) << "Applying Ethernet configuration to eth0";
    ethernet->save();
}
