#include "tcpdispatcher.h"

#include "app/mainwindowui.h"
#include "decode/inputindicators.h"
#include "decode/testview.h"
#include "platform/tcpcontrol.h"
#include "protocol/turnstile.h"
#include "turnstile/turnstilepanel.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace kalveno {

TcpDispatcher::TcpDispatcher(const MainWindowUi &ui, TcpControl &tcp, InputIndicators &indicators,
                             TestViewHost &testView, TurnstilePanel &turnstile)
    : m_ui(ui)
    , m_tcp(tcp)
    , m_indicators(indicators)
    , m_testView(testView)
    , m_turnstile(turnstile)
{}

void TcpDispatcher::TCP_DataArrival()
{
    const QByteArray chunk = m_tcp.getData();
    // The terminal is emptied whole once past its cap, tested before the chunk is added.
    if (m_ui.TXT_TCP_WIN->length() > TerminalCap) {
        m_ui.TXT_TCP_WIN->setBytes({});
        if (m_testView.isShown())
            m_testView.view()->AFF_TXT()->setBytes({});
    }
    if (chunk.isEmpty())
        return;

    const QByteArray display = m_indicators.UPDATE_TTL_IN(chunk);
    m_ui.TXT_TCP_WIN->append(display);
    if (m_testView.isShown())
        m_testView.view()->AFF_TXT()->append(display);

    if (turnstile::isConfigReply(display)) {
        // The reply is recognised on what is shown but read from the chunk itself.
        const turnstile::ConfigReply reply = turnstile::decodeConfigReply(chunk);
        if (m_testView.isShown())
            m_testView.view()->AFF_TXT()->setBytes(turnstile::configSummary(reply));
        // Display updates only: setting the boxes' texts raises no choice, so nothing is sent.
        m_ui.SW_T_RFID_POLLING->setEditText(reply.polling);
        m_ui.LST_T_MODE->setEditText(reply.modeText);
        m_ui.INP_T_TIMEOUT->setText(reply.timeToPass);
        m_ui.INP_T_VALID_TIMEOUT->setText(reply.validationTimeout);
        m_ui.INP_T_VALID_NBCARD->setText(reply.cardCount);
        for (int i = 0; i < 3; ++i)
            m_ui.INP_T_REMOTE_IP[i]->setText(reply.remoteAddresses[i]);
    }

    if (m_ui.SW_TOURN_ANSWER->isChecked()) {
        m_turnstile.B_T_PASSAGE_Click();
        m_turnstile.send(turnstile::autoAnswer(m_ui.INP_T_TIMEOUT->text()));
    }
}

} // namespace kalveno
