#pragma once

#include "controlchannel.h"
#include "iofirmware.h"
#include "log.h"
#include "options.h"
#include "outputs.h"
#include "portlink.h"
#include "readerlink.h"
#include "replaylink.h"
#include "streamlinks.h"
#include "streamrouter.h"
#include "turnstilefirmware.h"
#include "udplink.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace kalveno::sim {

// The bridge: its links, firmware and control channel, built and wired together here and
// nowhere else.
class Simulator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Simulator)

public:
    using Reply = ControlChannel::Reply;

    // One bridge of a site: its number, its fault, and whether the process's serial line and
    // UDP port are its own (the one bridge without --bridges has both).
    struct Role
    {
        int number = 1;
        Fault fault = Fault::None;
        bool ownsLine = true;
        bool ownsUdp = true;
    };

    Simulator(const Options &options, Log *log, QObject *parent = nullptr)
        : Simulator(options, log, Role{}, parent)
    {}
    Simulator(const Options &options, Log *log, const Role &role, QObject *parent = nullptr);
    ~Simulator() override;

    bool start(QString *error);

    quint16 tcpPort() const { return m_links.tcp(Link::Tcp1).port(); }
    quint16 tcp2Port() const { return m_links.tcp(Link::Tcp2).port(); }
    quint16 udpPort() const { return m_udp.port(); }
    QString serialPath() const { return m_links.line().slavePath(); }
    // Lines that say where the simulator can be reached, for whoever started it.
    QStringList endpoints() const;

    Reply control(const QString &line) { return m_control.handle(line); }
    QString status() const { return m_control.status(); }
    const Outputs &outputs() const { return m_outputs; }
    const TurnstileFirmware &turnstile() const { return m_turnstile; }
    // Null for a bridge that does not answer datagrams (absent, silent, or without the I/O
    // firmware).
    IoFirmware *udpFirmware();
    Log *log() const { return m_log; }
    // Nothing unless a session log is replayed.
    ReplayLink *replay() { return m_replay.get(); }

private:
    void wire();
    void wireJig();
    void updatePolling();

    Role m_role;
    Options m_options;
    Log *m_log;
    Outputs m_outputs;
    IoFirmware m_io;
    TurnstileFirmware m_turnstile;
    StreamLinks m_links;
    StreamRouter m_router;
    UdpLink m_udp;
    ReaderLink m_reader;
    PortLink m_portLink;
    std::unique_ptr<ReplayLink> m_replay; // plays the bridge instead of the firmware
    ControlChannel m_control;
};

} // namespace kalveno::sim
