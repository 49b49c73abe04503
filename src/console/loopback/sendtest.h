#pragma once

#include "protocol/sendtest.h"

class QLabel;
class QWidget;

namespace kalveno {

class CaptionButton;
class LinkState;
class LinkTerminal;
class SerialControl;
class TcpControl;

// "TST SEND" and its count-down label.
struct SendTestView
{
    CaptionButton *B_TST_SEND = nullptr;
    QLabel *AFF_TST_SEND = nullptr;

    static SendTestView find(const QWidget *form);
};

// "TST SEND": a loop-back test over both links at once. The same 1000-digit pattern goes to
// the serial port and the TCP link ten times; after each pass the test waits until both
// terminals have stopped changing for half a second, and the pass holds when they hold the same
// non-empty text. The button ends green when every pass held, red otherwise. The waits yield
// to the event loop, where the poller and the TCP dispatcher fill the terminals.
class SendTest final
{
public:
    static constexpr int Passes = sendtest::Passes;
    static constexpr int QuietMs = 500;
    // A terminal that never stops changing would otherwise hold the window disabled for ever.
    static constexpr int PassLimitMs = 30000;

    struct Links
    {
        const LinkState &tcpLink;
        const LinkState &serialLink;
        TcpControl &tcp;
        SerialControl &serial;
    };
    struct Terminals
    {
        LinkTerminal &tcp;
        LinkTerminal &serial;
    };

    SendTest(QWidget *form, const SendTestView &view, const Links &links,
             const Terminals &terminals);

    void B_TST_SEND_Click();
    bool isRunning() const { return m_running; }
    // Ends a running test at its next wait, as when the window closes.
    void abort() { m_aborted = true; }

private:
    // False when the terminals did not settle within the pass's limit.
    bool waitForQuiet();
    void yieldFor(int milliseconds);

    QWidget *m_form;
    SendTestView m_view;
    Links m_links;
    Terminals m_terminals;
    bool m_running = false;
    bool m_aborted = false;
};

} // namespace kalveno
