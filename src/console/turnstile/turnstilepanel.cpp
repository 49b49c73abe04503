#include "turnstilepanel.h"

#include "app/mainwindowui.h"
#include "app/statusline.h"
#include "decode/testview.h"
#include "platform/tcpcontrol.h"
#include "protocol/turnstile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

TurnstilePanel::TurnstilePanel(const MainWindowUi &ui, TcpControl &tcp, TestViewHost &testView,
                               StatusLine &status)
    : m_ui(ui)
    , m_tcp(tcp)
    , m_testView(testView)
    , m_status(status)
{}

bool TurnstilePanel::send(const QByteArray &command)
{
    if (m_tcp.state() != TcpControl::Connected) {
        m_status.report(u"not sent: TCP link is down"_s);
        return false;
    }
    if (!m_tcp.sendData(command)) {
        m_status.report(u"TCP send failed: %1"_s.arg(m_tcp.lastError()));
        return false;
    }
    return true;
}

void TurnstilePanel::B_T_BRAS_TOMBE_Click()
{
    send(turnstile::ArmDrop.toByteArray());
}

void TurnstilePanel::B_T_DEL_R_XX_Click()
{
    send(turnstile::RedLedTwoSeconds.toByteArray());
    // Clearing the box from code raises its click only when it was ticked: the LED goes off.
    if (m_ui.SW_T_DEL_R->isChecked()) {
        m_ui.SW_T_DEL_R->setChecked(false);
        SW_T_DEL_R_Click();
    }
}

void TurnstilePanel::B_T_DEL_V_XX_Click()
{
    send(turnstile::GreenLedTwoSeconds.toByteArray());
    if (m_ui.SW_T_DEL_V->isChecked()) {
        m_ui.SW_T_DEL_V->setChecked(false);
        SW_T_DEL_V_Click();
    }
}

void TurnstilePanel::B_T_DirectCmd_Click()
{
    send(turnstile::directCommand());
    if (m_ui.SW_T_DEL_R->isChecked()) {
        m_ui.SW_T_DEL_R->setChecked(false);
        SW_T_DEL_R_Click();
    }
}

void TurnstilePanel::B_T_PASSAGE_Click()
{
    send(turnstile::passage(m_ui.INP_T_TIMEOUT->text(), m_ui.INP_T_NB_PERSONNE->text()));
}

void TurnstilePanel::B_T_VALID_TIMEOUT_Click()
{
    send(turnstile::validationTimeout(m_ui.INP_T_VALID_TIMEOUT->text(),
                                      m_ui.INP_T_VALID_NBCARD->text()));
}

void TurnstilePanel::Command1_Click()
{
    send(turnstile::SinglePassageFirst.toByteArray());
    B_T_PASSAGE_Click();
}

void TurnstilePanel::Command4_Click()
{
    send(turnstile::singlePassageWithDelay(m_ui.INP_T_TIMEOUT->text()));
}

void TurnstilePanel::Command5_Click()
{
    send(turnstile::SinglePassageNoDelay.toByteArray());
}

void TurnstilePanel::Command6_Click()
{
    send(turnstile::RedLedThreeSecondsOk.toByteArray());
}

void TurnstilePanel::LST_T_MODE_Click()
{
    const QString mode = m_ui.LST_T_MODE->currentText();
    send(turnstile::mode(mode));
    if (mode.startsWith(u'4'))
        m_testView.show();
}

void TurnstilePanel::SW_T_DEL_R_Click()
{
    send((m_ui.SW_T_DEL_R->isChecked() ? turnstile::RedLedOn : turnstile::RedLedOff).toByteArray());
}

void TurnstilePanel::SW_T_DEL_V_Click()
{
    send((m_ui.SW_T_DEL_V->isChecked() ? turnstile::GreenLedOn : turnstile::GreenLedOff)
             .toByteArray());
}

void TurnstilePanel::B_T_RX_CFG_REMOTE_Click()
{
    send(turnstile::ReadConfigRequest.toByteArray());
}

void TurnstilePanel::B_T_TX_CFG_REMOTE_Click()
{
    send(turnstile::writeConfig(m_ui.SW_T_RFID_POLLING->currentText(),
                                {m_ui.INP_T_REMOTE_IP[0]->text(), m_ui.INP_T_REMOTE_IP[1]->text(),
                                 m_ui.INP_T_REMOTE_IP[2]->text()}));
}

} // namespace kalveno
