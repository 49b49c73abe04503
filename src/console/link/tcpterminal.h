#pragma once

#include "terminal/linkterminal.h"

#include <QObject>

class QCheckBox;
class QWidget;

namespace kalveno {

class LinkState;
class Reporter;
class TcpControl;

// The TCP terminal and its controls.
struct TcpTerminalView
{
    TerminalView terminal; // TXT_TCP_WIN, SW_ECHO_TCP, B_CLEAR_TCP
    QCheckBox *SW_AUTO_ANSWER = nullptr;

    static TcpTerminalView find(const QWidget *form);
};

// The raw terminal on the TCP link. With "Auto Answer Test" every change of the terminal's text
// asks for the four outputs to be pulsed.
class TcpTerminal final : public QObject, public LinkTerminal
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpTerminal)

public:
    TcpTerminal(const TcpTerminalView &view, const LinkState &link, TcpControl &tcp,
                Reporter &reporter);

    void TXT_TCP_WIN_Change();

Q_SIGNALS:
    // Runs, synchronously, the four outputs' two-second commands.
    void autoAnswerTest();

private:
    QCheckBox *m_autoAnswer;
};

} // namespace kalveno
