#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

class QCheckBox;
class QWidget;

namespace kalveno {

class CaptionButton;
class LinkState;
class Reporter;
class TcpControl;
class TerminalBox;

// The TCP terminal and its controls.
struct TcpTerminalView
{
    TerminalBox *TXT_TCP_WIN = nullptr;
    QCheckBox *SW_ECHO_TCP = nullptr;
    CaptionButton *B_CLEAR_TCP = nullptr;
    QCheckBox *SW_AUTO_ANSWER = nullptr;

    static TcpTerminalView find(const QWidget *form);
};

// The raw terminal on the TCP link: each typed key leaves as one byte while the link is up,
// and shows locally only with "Local Echo ON". A paste leaves whole while the link is up and
// shows as it leaves; with the link down it is refused, so that what shows went out. With "Auto
// Answer Test" every change of the terminal's text asks for the four outputs to be pulsed.
class TcpTerminal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpTerminal)

public:
    TcpTerminal(const TcpTerminalView &view, const LinkState &link, TcpControl &tcp,
                Reporter &reporter);

    void TXT_TCP_WIN_KeyPress(int &keyCode);
    // A chunk of a paste, `done` of its `total` bytes gone before it: false when it was not sent.
    bool TXT_TCP_WIN_Paste(QByteArrayView bytes, qsizetype done, qsizetype total, bool &echo);
    void TXT_TCP_WIN_Change();
    void TXT_TCP_WIN_DblClick();
    void B_CLEAR_TCP_Click();

    // For the receive dispatcher and the send test.
    const QByteArray &text() const;
    void append(QByteArrayView received);
    void clear();
    void focusClearButton();

Q_SIGNALS:
    // Runs, synchronously, the four outputs' two-second commands.
    void autoAnswerTest();

private:
    TcpTerminalView m_view;
    const LinkState &m_link;
    TcpControl &m_tcp;
    Reporter &m_reporter;
};

} // namespace kalveno
