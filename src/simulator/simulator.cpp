#include "simulator.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

Options forRole(Options options, const Simulator::Role &role)
{
    if (role.fault == Fault::NoTurnstile)
        options.turnstileFirmware = false;
    return options;
}

} // namespace

Simulator::Simulator(const Options &options, Log *log, const Role &role, QObject *parent)
    : QObject(parent)
    , m_role(role)
    , m_options(forRole(options, role))
    , m_log(log)
    , m_io(&m_outputs)
    , m_turnstile(m_options.turnstile, &m_outputs)
    , m_links(log)
    , m_router(m_options, &m_links, &m_io, &m_turnstile, log)
    , m_udp(m_options.ioFirmware ? &m_io : nullptr, log)
    , m_reader(options.reader, &m_links, log)
    , m_portLink(log)
    , m_replay(options.replayFiles.isEmpty()
                   ? nullptr
                   : std::make_unique<ReplayLink>(ReplayLink::Settings{options.replayFiles,
                                                                       options.replaySpeed,
                                                                       options.replayStrict},
                                                  &m_links, &m_udp, log))
    , m_control({&m_options, log, &m_io, &m_outputs, &m_turnstile, &m_reader, &m_links, &m_router,
                 m_replay.get()})
{
    m_io.setInput(1, options.inputs[0]);
    m_io.setInput(2, options.inputs[1]);
    if (role.fault == Fault::Input1Stuck)
        m_io.stickOn(1);
    m_router.setLoopCorrupt(role.fault == Fault::LoopCorrupt);
    // A replay takes what arrives on the links itself.
    if (!m_replay)
        wire();
}

Simulator::~Simulator()
{
    // Members go in reverse order; none of them may reach the ones already gone.
    for (QObject *source :
         std::initializer_list<QObject *>{&m_links, &m_outputs, &m_turnstile, &m_reader})
        source->disconnect();
}

void Simulator::wire()
{
    // A silent bridge reads what comes, which the links log, and does nothing with it.
    if (m_role.fault != Fault::Silent) {
        connect(&m_links, &StreamLinks::received, &m_router, &StreamRouter::feed);
        connect(&m_links, &StreamLinks::received, &m_reader, &ReaderLink::feed);
    }
    connect(&m_links, &StreamLinks::restarted, &m_router, &StreamRouter::restart);
    connect(&m_reader, &ReaderLink::lineTaken, &m_router, &StreamRouter::setReaderHasLine);
    connect(&m_turnstile, &TurnstileFirmware::pollingChanged, this, &Simulator::updatePolling);
    connect(&m_turnstile, &TurnstileFirmware::passageClosed, this,
            [this](const QString &why) { m_log->state(Link::Sim, u"passage closed: "_s + why); });
    connect(&m_outputs, &Outputs::changed, this, [this](int output, bool on) {
        m_log->state(Link::Sim, textcommand::outputName(output) + (on ? u" on"_s : u" off"_s));
    });
    wireJig();
}

void Simulator::wireJig()
{
    if (m_options.jig.isEmpty())
        return;
    connect(&m_outputs, &Outputs::changed, this, [this](int output) {
        for (const bridgeio::JigWire &wire : std::as_const(m_options.jig)) {
            if (wire.output != output)
                continue;
            const bool on = std::any_of(
                m_options.jig.begin(), m_options.jig.end(), [this, &wire](const auto &other) {
                    return other.input == wire.input && m_outputs.isOn(other.output);
                });
            m_control.setInput(wire.input, on, u"jig: output %1"_s.arg(output));
        }
    });
}

IoFirmware *Simulator::udpFirmware()
{
    const bool answers = m_role.fault != Fault::Absent && m_role.fault != Fault::Silent;
    return answers && m_options.ioFirmware ? &m_io : nullptr;
}

bool Simulator::start(QString *error)
{
    if (m_role.fault == Fault::Absent) {
        m_log->state(Link::Sim,
                     u"absent: nothing listens at %1"_s.arg(m_options.tcpAddress.toString()));
        return true;
    }
    const bool listening =
        m_role.ownsLine
            ? m_links.open(m_options.tcpAddress, m_options.tcpPort, m_options.tcp2Port, error)
            : m_links.listen(m_options.tcpAddress, m_options.tcpPort, m_options.tcp2Port, error);
    if (!listening ||
        (m_role.ownsUdp && !m_udp.bind(m_options.udpAddress, m_options.udpPort, error)))
        return false;
    if (m_replay && !m_replay->start(error))
        return false;
    if (m_role.ownsLine && !m_options.linkPath.isEmpty() &&
        !m_portLink.make(m_options.linkPath, serialPath(), error))
        return false;
    for (const QString &endpoint : endpoints())
        m_log->state(Link::Sim, u"listening "_s + endpoint);
    if (m_role.fault != Fault::None)
        m_log->state(Link::Sim, u"fault: "_s + faultName(m_role.fault));
    m_log->state(Link::Sim,
                 u"firmware%1%2, inputs %3 %4"_s.arg(
                     m_options.ioFirmware ? u" io"_s : QString(),
                     m_options.turnstileFirmware ? u" turnstile"_s : QString(),
                     m_io.input(1) ? u"on"_s : u"off"_s, m_io.input(2) ? u"on"_s : u"off"_s));
    updatePolling();
    return true;
}

QStringList Simulator::endpoints() const
{
    QStringList lines;
    if (m_role.fault == Fault::Absent)
        return lines;
    if (m_role.ownsLine && !serialPath().isEmpty())
        lines.append(u"serial "_s + serialPath());
    if (m_portLink.isMade())
        lines.append(u"link "_s + m_portLink.path());
    const TcpPort &tcp1 = m_links.tcp(Link::Tcp1);
    const TcpPort &tcp2 = m_links.tcp(Link::Tcp2);
    lines.append(u"tcp1 %1:%2"_s.arg(tcp1.address().toString()).arg(tcp1.port()));
    lines.append(u"tcp2 %1:%2"_s.arg(tcp2.address().toString()).arg(tcp2.port()));
    if (m_role.ownsUdp)
        lines.append(u"udp %1:%2"_s.arg(m_udp.address().toString()).arg(m_udp.port()));
    return lines;
}

void Simulator::updatePolling()
{
    // Without a line of its own, the turnstile has no reader to poll.
    m_reader.setPolling(m_role.ownsLine && m_options.turnstileFirmware && m_turnstile.isPolling());
}

} // namespace kalveno::sim
