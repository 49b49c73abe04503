#include "tcpterminal.h"

#include "platform/tcpcontrol.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>

using namespace Qt::StringLiterals;

namespace kalveno {

TcpTerminalView TcpTerminalView::find(const QWidget *form)
{
    return {.terminal = {.box = control<TerminalBox>(form, "TXT_TCP_WIN"),
                         .echo = control<QCheckBox>(form, "SW_ECHO_TCP"),
                         .clear = control<CaptionButton>(form, "B_CLEAR_TCP")},
            .SW_AUTO_ANSWER = control<QCheckBox>(form, "SW_AUTO_ANSWER")};
}

TcpTerminal::TcpTerminal(const TcpTerminalView &view, const LinkState &link, TcpControl &tcp,
                         Reporter &reporter)
    : LinkTerminal(view.terminal,
                   {.state = link,
                    .write = [&tcp](const QByteArray &bytes) { return tcp.sendData(bytes); },
                    .lastError = [&tcp] { return tcp.lastError(); },
                    .name = u"TCP"_s,
                    .notUp = u"TCP link is down"_s},
                   reporter)
    , m_autoAnswer(view.SW_AUTO_ANSWER)
{}

void TcpTerminal::TXT_TCP_WIN_Change()
{
    if (m_autoAnswer->isChecked())
        Q_EMIT autoAnswerTest();
}

} // namespace kalveno
