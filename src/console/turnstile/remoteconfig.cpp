#include "remoteconfig.h"

#include "protocol/turnstile.h"
#include "turnstile/turnstilepanel.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"

#include <QComboBox>
#include <QLineEdit>

namespace kalveno {

RemoteConfigView RemoteConfigView::find(const QWidget *form)
{
    return {.SW_T_RFID_POLLING = control<QComboBox>(form, "SW_T_RFID_POLLING"),
            .INP_T_REMOTE_IP = controlArray<QLineEdit, 3>(form, "INP_T_REMOTE_IP"),
            .B_T_RX_CFG_REMOTE = control<CaptionButton>(form, "B_T_RX_CFG_REMOTE"),
            .B_T_TX_CFG_REMOTE = control<CaptionButton>(form, "B_T_TX_CFG_REMOTE")};
}

RemoteConfig::RemoteConfig(const RemoteConfigView &view, TurnstilePanel &turnstile)
    : m_view(view)
    , m_turnstile(turnstile)
{}

void RemoteConfig::B_T_RX_CFG_REMOTE_Click()
{
    m_turnstile.send(turnstile::ReadConfigRequest.toByteArray());
}

void RemoteConfig::B_T_TX_CFG_REMOTE_Click()
{
    const auto &ip = m_view.INP_T_REMOTE_IP;
    m_turnstile.send(turnstile::writeConfig(m_view.SW_T_RFID_POLLING->currentText(),
                                            {ip[0]->text(), ip[1]->text(), ip[2]->text()}));
}

void RemoteConfig::showConfiguration(const turnstile::ConfigReply &reply)
{
    // A display update: setting the text raises no choice.
    m_view.SW_T_RFID_POLLING->setEditText(reply.polling);
    for (int i = 0; i < 3; ++i)
        m_view.INP_T_REMOTE_IP[i]->setText(reply.remoteAddresses[i]);
}

} // namespace kalveno
