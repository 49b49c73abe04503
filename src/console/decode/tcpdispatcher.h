#pragma once

#include <QtGlobal>

namespace kalveno {

class InputIndicators;
class RemoteConfig;
class TcpControl;
class TcpTerminal;
class TestViewHost;
class TurnstilePanel;

// Everything the bridge sends over TCP passes through here, one chunk per arrival, nothing
// carried over between chunks: the terminal is kept under its cap, input status bytes are
// taken out, the rest is shown in the terminal and in the test view, a turnstile
// configuration reply fills the panels, and the auto answer grants a passage.
class TcpDispatcher final
{
public:
    static constexpr qsizetype TerminalCap = 10000;

    TcpDispatcher(TcpControl &tcp, TcpTerminal &terminal, InputIndicators &indicators,
                  TestViewHost &testView, TurnstilePanel &turnstile, RemoteConfig &remoteConfig);

    void TCP_DataArrival();

private:
    TcpControl &m_tcp;
    TcpTerminal &m_terminal;
    InputIndicators &m_indicators;
    TestViewHost &m_testView;
    TurnstilePanel &m_turnstile;
    RemoteConfig &m_remoteConfig;
};

} // namespace kalveno
