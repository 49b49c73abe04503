#pragma once

#include "linkreplay.h"
#include "log.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <optional>

namespace kalveno::sim {

class StreamLinks;
class UdpLink;

// The bridge played from a session's log instead of its firmware: each link's script
// (LinkReplay) gets what arrives on that link and says what to send and when; this runs them on
// the real links with one timer, and counts and reports what happened. The log's TCP links go to
// the port of the same number, its serial port to the line, its datagrams to whoever sent the
// latest one.
class ReplayLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReplayLink)

public:
    struct Settings
    {
        QStringList files;
        double speed = 1; // recorded gaps are divided by it; 0 sends at once
        bool strict = false;
    };

    ReplayLink(const Settings &settings, StreamLinks *links, UdpLink *udp, Log *log,
               QObject *parent = nullptr);

    // Reads the log files and lays their links onto the simulator's, whose ports listen by now;
    // false with why when a file is refused or a link has no place here.
    bool start(QString *error);
    QStringList warnings() const { return m_warnings; }
    bool finished() const;
    // "replay=playing replayed=12 waiting=3 divergences=0", for the status line.
    QString statusFields() const;
    // "replay finished: 12 entries replayed, 0 waiting, 0 divergences", or "stopped" before the
    // end.
    QString summary() const;

Q_SIGNALS:
    // A line for whoever runs the simulator: each divergence, and the end of the replay.
    void said(const QString &line);
    // With --replay-strict: a divergence has ended the replay.
    void failed();

private:
    // The links replayed, in the order of Link: the first and second TCP port, UDP, the line.
    static constexpr std::array<Link, 4> Played{Link::Tcp1, Link::Tcp2, Link::Udp, Link::Serial};

    std::optional<LinkReplay> &replay(Link link);
    LinkReplay::Peer peer(Link link) const;
    void take(Link link, const QByteArray &bytes);
    void schedule();
    void run();
    void perform(Link link, const LinkReplay::Action &action);
    void diverged(const QString &divergence);
    qint64 count(qint64 (LinkReplay::*what)() const) const;

    Settings m_settings;
    StreamLinks *m_links;
    UdpLink *m_udp;
    Log *m_log;
    std::array<std::optional<LinkReplay>, 4> m_replays;
    std::array<qint64, 2> m_clients{}; // of each TCP port so far
    QHostAddress m_udpPeer;
    quint16 m_udpPeerPort = 0;
    QStringList m_warnings;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_divergences = 0;
    bool m_running = false;
    bool m_again = false;
    bool m_finishSaid = false;
};

} // namespace kalveno::sim
