#include "ValidatorConfig.h"

ValidatorConfig::ValidatorConfig(QObject* parent)
    : QObject(parent)
{
}

void ValidatorConfig::setObuUrl(const QUrl& url)
{
    if (url == m_obuUrl)
        return;
    m_obuUrl = url;
    emit obuUrlChanged();
}

void ValidatorConfig::setPassbackSecs(int seconds)
{
    if (seconds == m_passbackSecs)
        return;
    m_passbackSecs = seconds;
    emit passbackSecsChanged();
}

void ValidatorConfig::setPassbackQrEnabled(bool flag)
{
    if (flag == m_passbackQrEnabled)
        return;
    m_passbackQrEnabled = flag;
    emit passbackQrEnabledChanged();
}
