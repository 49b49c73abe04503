#pragma once

#include <QtGlobal>

namespace kalveno {

struct MainWindowUi;
class InputIndicators;
class TcpControl;
class TestViewHost;
class TurnstilePanel;

// Everything the bridge sends over TCP passes through here, one chunk per arrival, nothing
// carried over between chunks: the terminal is kept under its cap, input status bytes are
// taken out, the rest is shown in the terminal and in the test view, a turnstile
// configuration reply fills the panel, and the auto answer grants a passage.
class TcpDispatcher final
{
public:
    static constexpr qsizetype TerminalCap = 10000;

    TcpDispatcher(const MainWindowUi &ui, TcpControl &tcp, InputIndicators &indicators,
                  TestViewHost &testView, TurnstilePanel &turnstile);

    void TCP_DataArrival();

private:
    const MainWindowUi &m_ui;
    TcpControl &m_tcp;
    InputIndicators &m_indicators;
    TestViewHost &m_testView;
    TurnstilePanel &m_turnstile;
};

} // namespace kalveno
