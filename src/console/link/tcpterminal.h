#pragma once

namespace kalveno {

struct MainWindowUi;
class StatusLine;
class TcpControl;
class TtlPanel;

// The raw terminal on the TCP link: each typed key leaves as one byte while the link is up,
// and shows locally only with "Local Echo ON". With "Auto Answer Test" every change of the
// terminal's text pulses the four outputs.
class TcpTerminal final
{
public:
    TcpTerminal(const MainWindowUi &ui, TcpControl &tcp, TtlPanel &panel, StatusLine &status);

    void TXT_TCP_WIN_KeyPress(int &keyCode);
    void TXT_TCP_WIN_Change();
    void TXT_TCP_WIN_DblClick();
    void B_CLEAR_TCP_Click();

private:
    const MainWindowUi &m_ui;
    TcpControl &m_tcp;
    TtlPanel &m_panel;
    StatusLine &m_status;
};

} // namespace kalveno
