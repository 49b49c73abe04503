#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QCheckBox;

namespace kalveno {

class CaptionButton;
class LinkState;
class Reporter;
class TerminalBox;

// A raw terminal's controls: the box, its "Local Echo ON" switch and its CLEAR button.
struct TerminalView
{
    TerminalBox *box = nullptr;
    QCheckBox *echo = nullptr;
    CaptionButton *clear = nullptr;
};

// What the TCP and the serial terminal do alike, each on its own link. A typed key leaves as one
// byte while the link is up, and shows locally only with echo on. A paste leaves whole while the
// link is up and shows as it leaves when echo is on; with the link down it is refused, so that
// what shows went out. A send that fails is reported. Received text goes at the end, and the
// terminal is emptied whole.
class LinkTerminal
{
public:
    // The terminal's link: whether it is up, how bytes leave on it and why they last did not, and
    // how the status bar names it ("TCP send failed: ...") and says that it is not up.
    struct Link
    {
        const LinkState &state;
        std::function<bool(const QByteArray &bytes)> write;
        std::function<QString()> lastError;
        QString name;
        QString notUp;
    };

    LinkTerminal(const TerminalView &view, Link link, Reporter &reporter);

    // TXT_TCP_WIN_KeyPress and TXT_232_WIN_KeyPress: `code` goes out, and is discarded (0)
    // unless echo is on.
    void keyPress(int &code);
    // The terminal's paste hook: a chunk, `done` of its `total` bytes gone before it; false when
    // it was not sent.
    bool paste(QByteArrayView bytes, qsizetype done, qsizetype total, bool &echo);

    const QByteArray &text() const;
    void append(QByteArrayView received);
    void clear();
    void focusClearButton();

private:
    TerminalView m_view;
    Link m_link;
    Reporter &m_reporter;
};

} // namespace kalveno
