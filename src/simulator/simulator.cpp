#include "simulator.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

Simulator::Simulator(const Options &options, Log *log, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_log(log)
    , m_io(&m_outputs)
    , m_turnstile(options.turnstile, &m_outputs)
    , m_links(log)
    , m_router(m_options, &m_links, &m_io, &m_turnstile, log)
    , m_udp(options.ioFirmware ? &m_io : nullptr, log)
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
    connect(&m_links, &StreamLinks::received, &m_router, &StreamRouter::feed);
    connect(&m_links, &StreamLinks::received, &m_reader, &ReaderLink::feed);
    connect(&m_links, &StreamLinks::restarted, &m_router, &StreamRouter::restart);
    connect(&m_reader, &ReaderLink::lineTaken, &m_router, &StreamRouter::setReaderHasLine);
    connect(&m_turnstile, &TurnstileFirmware::pollingChanged, this, &Simulator::updatePolling);
    connect(&m_turnstile, &TurnstileFirmware::passageClosed, this,
            [this](const QString &why) { m_log->state(Link::Sim, u"passage closed: "_s + why); });
    connect(&m_outputs, &Outputs::changed, this, [this](int output, bool on) {
        m_log->state(Link::Sim, outputName(output) + (on ? u" on"_s : u" off"_s));
    });
}

bool Simulator::start(QString *error)
{
    if (!m_links.open(m_options.tcpAddress, m_options.tcpPort, m_options.tcp2Port, error) ||
        !m_udp.bind(m_options.udpAddress, m_options.udpPort, error))
        return false;
    if (m_replay && !m_replay->start(error))
        return false;
    if (!m_options.linkPath.isEmpty() && !m_portLink.make(m_options.linkPath, serialPath(), error))
        return false;
    for (const QString &endpoint : endpoints())
        m_log->state(Link::Sim, u"listening "_s + endpoint);
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
    QStringList lines{u"serial "_s + serialPath()};
    if (m_portLink.isMade())
        lines.append(u"link "_s + m_portLink.path());
    const TcpPort &tcp1 = m_links.tcp(Link::Tcp1);
    const TcpPort &tcp2 = m_links.tcp(Link::Tcp2);
    lines.append(u"tcp1 %1:%2"_s.arg(tcp1.address().toString()).arg(tcp1.port()));
    lines.append(u"tcp2 %1:%2"_s.arg(tcp2.address().toString()).arg(tcp2.port()));
    lines.append(u"udp %1:%2"_s.arg(m_udp.address().toString()).arg(m_udp.port()));
    return lines;
}

void Simulator::updatePolling()
{
    m_reader.setPolling(m_options.turnstileFirmware && m_turnstile.isPolling());
}

} // namespace kalveno::sim
