#include "replaylink.h"

#include "streamlinks.h"
#include "udplink.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

ReplayLink::ReplayLink(const Settings &settings, StreamLinks *links, UdpLink *udp, Log *log,
                       QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_links(links)
    , m_udp(udp)
    , m_log(log)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplayLink::run);
    connect(links, &StreamLinks::received, this, &ReplayLink::take);
    // Every client that comes, the line held or let go, the line plugged: the peers have changed.
    connect(links, &StreamLinks::restarted, this, &ReplayLink::schedule);
    for (const Link link : {Link::Tcp1, Link::Tcp2}) {
        connect(&links->tcp(link), &TcpPort::clientConnected, this, [this, link] {
            ++m_clients[size_t(link)];
            schedule();
        });
    }
    udp->setReplaying(true);
    connect(udp, &UdpLink::datagram, this,
            [this](const QByteArray &bytes, const QHostAddress &sender, quint16 port) {
                m_udpPeer = sender;
                m_udpPeerPort = port;
                take(Link::Udp, bytes);
            });
}

bool ReplayLink::start(QString *error)
{
    std::optional<ReplayScript> script = ReplayScript::read(m_settings.files, error);
    if (!script)
        return false;
    m_warnings = script->warnings;
    for (LinkScript &linkScript : script->links) {
        Link link = Link::Serial;
        if (linkScript.kind == LinkKind::Udp) {
            link = Link::Udp;
        } else if (linkScript.kind == LinkKind::Tcp) {
            if (linkScript.port == m_links->tcp(Link::Tcp1).port()) {
                link = Link::Tcp1;
            } else if (linkScript.port == m_links->tcp(Link::Tcp2).port()) {
                link = Link::Tcp2;
            } else {
                *error = u"the log's link %1 has no port here: start with --tcp-port %2 or "
                         u"--tcp2-port %2"_s.arg(linkScript.name)
                             .arg(linkScript.port);
                return false;
            }
        }
        replay(link).emplace(std::move(linkScript), script->files, m_settings.speed,
                             link == Link::Tcp1 || link == Link::Tcp2);
    }
    // A link that the log does not name waits for nothing: whatever comes there diverges.
    QStringList played;
    for (const Link link : Played) {
        if (replay(link)) {
            played << u"%1 entries on %2"_s.arg(replay(link)->waiting())
                          .arg(replay(link)->script().name);
            continue;
        }
        const QString name = link == Link::Udp      ? linkname::Udp.toString()
                             : link == Link::Serial ? linkname::SimulatorLine.toString()
                                                    : linkname::tcp(m_links->tcp(link).port());
        replay(link).emplace(LinkScript{LinkKind::Tcp, 0, name, {}}, script->files,
                             m_settings.speed, false);
    }
    m_log->state(Link::Sim,
                 u"replay of %1: %2"_s.arg(m_settings.files.join(u", "_s),
                                           played.isEmpty() ? u"nothing"_s : played.join(u", "_s)));
    for (const QString &warning : std::as_const(m_warnings))
        m_log->state(Link::Sim, u"replay: "_s + warning);
    m_clock.start();
    schedule();
    return true;
}

std::optional<LinkReplay> &ReplayLink::replay(Link link)
{
    return m_replays[size_t(link)];
}

LinkReplay::Peer ReplayLink::peer(Link link) const
{
    switch (link) {
    case Link::Tcp1:
    case Link::Tcp2:
        return {m_links->tcp(link).hasClient(), m_clients[size_t(link)]};
    case Link::Serial:
        return {m_links->line().isAttached() && m_links->line().isPlugged()};
    case Link::Udp:
        return {!m_udpPeer.isNull()};
    case Link::Sim:
        break;
    }
    return {};
}

void ReplayLink::take(Link link, const QByteArray &bytes)
{
    if (!m_clock.isValid())
        return;
    std::optional<LinkReplay> &played = replay(link);
    const QList<LinkReplay::Divergence> divergences = played->take(bytes, m_clock.elapsed());
    for (const LinkReplay::Divergence &divergence : divergences)
        diverged(played->describe(divergence));
    schedule();
}

void ReplayLink::diverged(const QString &divergence)
{
    ++m_divergences;
    m_log->state(Link::Sim, u"replay: "_s + divergence);
    Q_EMIT said(divergence);
    if (m_settings.strict)
        Q_EMIT failed();
}

void ReplayLink::schedule()
{
    if (m_running)
        m_again = true;
    else if (m_clock.isValid())
        m_timer.start(0);
}

void ReplayLink::run()
{
    m_running = true;
    qint64 wake = -1;
    do {
        m_again = false;
        wake = -1;
        for (const Link link : Played) {
            std::optional<LinkReplay> &played = replay(link);
            qint64 wait = -1;
            for (LinkReplay::Action action = played->next(m_clock.elapsed(), peer(link), &wait);
                 action.kind != LinkReplay::Action::Kind::None;
                 action = played->next(m_clock.elapsed(), peer(link), &wait))
                perform(link, action);
            if (wait >= 0 && (wake < 0 || wait < wake))
                wake = wait;
        }
    } while (m_again);
    m_running = false;
    if (finished() && !m_finishSaid) {
        m_finishSaid = true;
        m_log->state(Link::Sim, summary());
        Q_EMIT said(summary());
    }
    if (wake >= 0)
        m_timer.start(int(qMin<qint64>(wake, std::numeric_limits<int>::max())));
}

void ReplayLink::perform(Link link, const LinkReplay::Action &action)
{
    if (action.kind == LinkReplay::Action::Kind::Drop) {
        m_log->state(link, u"replay closes the connection, as at "_s + action.where);
        m_links->dropClient(link);
    } else if (link == Link::Udp) {
        m_udp->send(action.bytes, m_udpPeer, m_udpPeerPort, u"replay of "_s + action.where);
    } else {
        m_links->send(link, action.bytes, u"replay of "_s + action.where);
    }
}

qint64 ReplayLink::count(qint64 (LinkReplay::*what)() const) const
{
    qint64 sum = 0;
    for (const std::optional<LinkReplay> &played : m_replays) {
        if (played)
            sum += ((*played).*what)();
    }
    return sum;
}

bool ReplayLink::finished() const
{
    return m_clock.isValid() && count(&LinkReplay::waiting) == 0;
}

QString ReplayLink::statusFields() const
{
    return u"replay=%1 replayed=%2 waiting=%3 divergences=%4"_s
        .arg(finished() ? u"finished"_s : u"playing"_s)
        .arg(count(&LinkReplay::replayed))
        .arg(count(&LinkReplay::waiting))
        .arg(m_divergences);
}

QString ReplayLink::summary() const
{
    return u"replay %1: %2 entries replayed, %3 waiting, %4 divergences"_s
        .arg(finished() ? u"finished"_s : u"stopped"_s)
        .arg(count(&LinkReplay::replayed))
        .arg(count(&LinkReplay::waiting))
        .arg(m_divergences);
}

} // namespace kalveno::sim
