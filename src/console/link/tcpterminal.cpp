#include "tcpterminal.h"

#include "model/linkstate.h"
#include "model/reporter.h"
#include "platform/tcpcontrol.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>

using namespace Qt::StringLiterals;

namespace kalveno {

TcpTerminalView TcpTerminalView::find(const QWidget *form)
{
    return {control<TerminalBox>(form, "TXT_TCP_WIN"), control<QCheckBox>(form, "SW_ECHO_TCP"),
            control<CaptionButton>(form, "B_CLEAR_TCP"),
            control<QCheckBox>(form, "SW_AUTO_ANSWER")};
}

TcpTerminal::TcpTerminal(const TcpTerminalView &view, const LinkState &link, TcpControl &tcp,
                         Reporter &reporter)
    : m_view(view)
    , m_link(link)
    , m_tcp(tcp)
    , m_reporter(reporter)
{}

void TcpTerminal::TXT_TCP_WIN_KeyPress(int &keyCode)
{
    // The link counts as up until the supervisor learns otherwise; it may have dropped a moment
    // ago.
    if (m_link.isUp() && !m_tcp.sendData(QByteArray(1, char(keyCode))))
        m_reporter.report(u"TCP send failed: %1"_s.arg(m_tcp.lastError()));
    if (!m_view.SW_ECHO_TCP->isChecked())
        keyCode = 0;
}

bool TcpTerminal::TXT_TCP_WIN_Paste(QByteArrayView bytes, qsizetype done, qsizetype total,
                                    bool &echo)
{
    const bool up = m_link.isUp();
    if (up && m_tcp.sendData(bytes.toByteArray())) {
        echo = m_view.SW_ECHO_TCP->isChecked();
        return true;
    }
    const QString why = up ? u"TCP send failed: "_s + m_tcp.lastError() : u"TCP link is down"_s;
    m_reporter.report(
        done == 0 ? u"not pasted: "_s + why
                  : u"paste stopped after %1 of %2 bytes: %3"_s.arg(done).arg(total).arg(why));
    return false;
}

void TcpTerminal::TXT_TCP_WIN_Change()
{
    if (m_view.SW_AUTO_ANSWER->isChecked())
        Q_EMIT autoAnswerTest();
}

void TcpTerminal::TXT_TCP_WIN_DblClick()
{
    B_CLEAR_TCP_Click();
}

void TcpTerminal::B_CLEAR_TCP_Click()
{
    clear();
}

const QByteArray &TcpTerminal::text() const
{
    return m_view.TXT_TCP_WIN->bytes();
}

void TcpTerminal::append(QByteArrayView received)
{
    m_view.TXT_TCP_WIN->append(received);
}

void TcpTerminal::clear()
{
    m_view.TXT_TCP_WIN->setBytes({});
}

void TcpTerminal::focusClearButton()
{
    m_view.B_CLEAR_TCP->setFocus();
}

} // namespace kalveno
