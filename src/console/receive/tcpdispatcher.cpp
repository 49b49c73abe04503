#include "tcpdispatcher.h"

#include "platform/tcpcontrol.h"
#include "platform/trafficrecord.h"
#include "protocol/turnstile.h"
#include "receive/inputindicators.h"
#include "terminal/linkterminal.h"
#include "testview/testview.h"
#include "turnstile/remoteconfig.h"
#include "turnstile/turnstilepanel.h"

#include <utility>

namespace kalveno {

TcpDispatcher::TcpDispatcher(TcpControl &tcp, LinkTerminal &terminal, InputIndicators &indicators,
                             TestViewHost &testView, TurnstilePanel &turnstile,
                             RemoteConfig &remoteConfig)
    : m_tcp(tcp)
    , m_terminal(terminal)
    , m_indicators(indicators)
    , m_testView(testView)
    , m_turnstile(turnstile)
    , m_remoteConfig(remoteConfig)
{}

void TcpDispatcher::TCP_DataArrival()
{
    // A socket that the peer has closed holds its last bytes only until the supervisor's next
    // tick drops it: they are taken now, a chunk past the record's bound.
    if (m_record && m_record->isBacklogged() && m_tcp.state() != TcpControl::Closing) {
        m_heldBack = true;
        return;
    }
    const QByteArray chunk = m_tcp.getData();
    // The terminal is emptied whole once past its cap, tested before the chunk is added.
    if (m_terminal.text().size() > TerminalCap) {
        m_terminal.clear();
        m_testView.clearIfShown();
    }
    if (chunk.isEmpty())
        return;

    const QByteArray display = m_indicators.UPDATE_TTL_IN(chunk);
    m_terminal.append(display);
    m_testView.appendIfShown(display);

    if (turnstile::isConfigReply(display)) {
        // The reply is recognised on what is shown but read from the chunk itself.
        const turnstile::ConfigReply reply = turnstile::decodeConfigReply(chunk);
        m_testView.replaceIfShown(turnstile::configSummary(reply));
        m_remoteConfig.showConfiguration(reply);
        m_turnstile.showConfiguration(reply);
    }

    if (m_turnstile.autoAnswerOn())
        m_turnstile.autoAnswer();
}

void TcpDispatcher::backlogCleared()
{
    // The socket reports no arrival for bytes it already holds.
    if (std::exchange(m_heldBack, false))
        TCP_DataArrival();
}

} // namespace kalveno
