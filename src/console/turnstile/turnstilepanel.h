#pragma once

#include <QByteArray>

namespace kalveno {

struct MainWindowUi;
class StatusLine;
class TcpControl;
class TestViewHost;

// The turnstile frame "Tourniquet Merixo": every command goes as plain text straight to the
// TCP link, without the bridge frame and whatever link is chosen for bridge commands. Numbers
// typed into the frame travel as two-digit fields. A command that cannot leave because the
// link is not connected is told on the status line.
class TurnstilePanel final
{
public:
    TurnstilePanel(const MainWindowUi &ui, TcpControl &tcp, TestViewHost &testView,
                   StatusLine &status);

    void B_T_BRAS_TOMBE_Click();
    void B_T_DEL_R_XX_Click();
    void B_T_DEL_V_XX_Click();
    void B_T_DirectCmd_Click();
    void B_T_PASSAGE_Click();
    void B_T_VALID_TIMEOUT_Click();
    void Command1_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void LST_T_MODE_Click();
    void SW_T_DEL_R_Click();
    void SW_T_DEL_V_Click();

    // The remote configuration of the frame "Remote bridge Tourniquet".
    void B_T_RX_CFG_REMOTE_Click();
    void B_T_TX_CFG_REMOTE_Click();

    // Writes one command to the TCP link; false, with a report, when it did not leave.
    bool send(const QByteArray &command);

private:
    const MainWindowUi &m_ui;
    TcpControl &m_tcp;
    TestViewHost &m_testView;
    StatusLine &m_status;
};

} // namespace kalveno
