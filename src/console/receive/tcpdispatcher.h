#pragma once

#include <QtGlobal>

namespace kalveno {

class InputIndicators;
class LinkTerminal;
class RemoteConfig;
class TcpControl;
class TestViewHost;
class TrafficRecord;
class TurnstilePanel;

// Everything the bridge sends over TCP passes through here, one chunk per arrival, nothing
// carried over between chunks: the terminal is kept under its cap, input status bytes are
// taken out, the rest is shown in the terminal and in the test view, a turnstile
// configuration reply fills the panels, and the auto answer grants a passage. Nothing is read
// while the traffic record is backlogged: the bytes wait in the socket, which the peer feels as
// flow control, and are read once the backlog has cleared; but what a peer sent before it closed
// is read at once.
class TcpDispatcher final
{
public:
    static constexpr qsizetype TerminalCap = 10000;

    TcpDispatcher(TcpControl &tcp, LinkTerminal &terminal, InputIndicators &indicators,
                  TestViewHost &testView, TurnstilePanel &turnstile, RemoteConfig &remoteConfig);

    void setRecord(const TrafficRecord *record) { m_record = record; }

    void TCP_DataArrival();
    void backlogCleared();

private:
    TcpControl &m_tcp;
    LinkTerminal &m_terminal;
    InputIndicators &m_indicators;
    TestViewHost &m_testView;
    TurnstilePanel &m_turnstile;
    RemoteConfig &m_remoteConfig;
    const TrafficRecord *m_record = nullptr;
    bool m_heldBack = false;
};

} // namespace kalveno
