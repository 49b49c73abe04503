#include "tcpterminal.h"

#include "app/look.h"
#include "app/mainwindowui.h"
#include "app/statusline.h"
#include "io_panel/ttlpanel.h"
#include "platform/tcpcontrol.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

TcpTerminal::TcpTerminal(const MainWindowUi &ui, TcpControl &tcp, TtlPanel &panel,
                         StatusLine &status)
    : m_ui(ui)
    , m_tcp(tcp)
    , m_panel(panel)
    , m_status(status)
{}

void TcpTerminal::TXT_TCP_WIN_KeyPress(int &keyCode)
{
    // The field's colour says the link is up; the link may still have dropped a moment ago.
    if (isUp(m_ui.INP_IP_ADR) && !m_tcp.sendData(QByteArray(1, char(keyCode))))
        m_status.report(u"TCP send failed: %1"_s.arg(m_tcp.lastError()));
    if (!m_ui.SW_ECHO_TCP->isChecked())
        keyCode = 0;
}

void TcpTerminal::TXT_TCP_WIN_Change()
{
    if (!m_ui.SW_AUTO_ANSWER->isChecked())
        return;
    m_panel.B_TTL1_XX_Click();
    m_panel.B_TTL2_XX_Click();
    m_panel.B_TTL3_XX_Click();
    m_panel.B_TTL4_XX_Click();
}

void TcpTerminal::TXT_TCP_WIN_DblClick()
{
    B_CLEAR_TCP_Click();
}

void TcpTerminal::B_CLEAR_TCP_Click()
{
    m_ui.TXT_TCP_WIN->setBytes({});
}

} // namespace kalveno
