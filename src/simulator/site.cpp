#include "site.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

QHostAddress addressOf(const Options &options, int number)
{
    return QHostAddress(options.tcpAddress.toIPv4Address() + quint32(number - 1));
}

} // namespace

Site::Site(const Options &options, Log *log, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_log(log)
{}

Site::~Site()
{
    // The UDP port reaches into the bridges, and each bridge into its log.
    m_udp.reset();
    m_bridges.clear();
}

Fault Site::faultOf(int number) const
{
    const auto fault = m_options.faults.find(number);
    return fault == m_options.faults.end() ? Fault::None : fault->second;
}

bool Site::start(QString *error)
{
    if (m_options.bridges > 0)
        return startSite(error);
    m_bridges.push_back(
        std::make_unique<Simulator>(m_options, m_log, Simulator::Role{1, faultOf(1), true, true}));
    return m_bridges.back()->start(error);
}

bool Site::startSite(QString *error)
{
    m_udp = std::make_unique<UdpLink>(nullptr, m_log);
    if (!m_udp->bind(m_options.udpAddress, m_options.udpPort, error))
        return false;
    m_tcpPort = m_options.tcpPort;
    m_tcp2Port = m_options.tcp2Port;
    m_bridges.reserve(size_t(m_options.bridges));
    for (int number = 1; number <= m_options.bridges; ++number) {
        Options options = m_options;
        options.tcpAddress = addressOf(m_options, number);
        options.tcpPort = m_tcpPort;
        options.tcp2Port = m_tcp2Port;
        Log *log =
            m_logs.emplace_back(std::make_unique<Log>(m_log, u"bridge %1 "_s.arg(number))).get();
        const Fault fault = faultOf(number);
        auto &bridge = m_bridges.emplace_back(std::make_unique<Simulator>(
            options, log, Simulator::Role{number, fault, number == 1, false}));
        if (!bridge->start(error)) {
            *error = u"bridge %1: %2"_s.arg(number).arg(*error);
            return false;
        }
        if (fault != Fault::Absent) {
            m_tcpPort = bridge->tcpPort();
            m_tcp2Port = bridge->tcp2Port();
        }
        m_udp->addBridge(options.tcpAddress, bridge->udpFirmware(), log);
    }
    m_log->state(Link::Sim, u"site of %1 bridges from %2"_s.arg(m_options.bridges)
                                .arg(m_options.tcpAddress.toString()));
    return true;
}

QStringList Site::endpoints() const
{
    if (m_options.bridges == 0)
        return m_bridges.front()->endpoints();
    QStringList lines;
    for (const QString &line : m_bridges.front()->endpoints()) {
        if (line.startsWith(u"serial ") || line.startsWith(u"link "))
            lines.append(line);
    }
    const QString first = m_options.tcpAddress.toString();
    lines.append(u"tcp1 %1:%2"_s.arg(first).arg(m_tcpPort));
    lines.append(u"tcp2 %1:%2"_s.arg(first).arg(m_tcp2Port));
    lines.append(u"udp %1:%2"_s.arg(m_udp->address().toString()).arg(m_udp->port()));
    lines.append(u"bridges %1 %2 %3"_s.arg(m_options.bridges)
                     .arg(first, addressOf(m_options, m_options.bridges).toString()));
    return lines;
}

Simulator::Reply Site::control(const QString &line)
{
    QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
    int number = 1;
    const bool addressed = !words.isEmpty() && words[0].toLower() == u"bridge";
    if (addressed) {
        bool ok = false;
        number = words.value(1).toInt(&ok);
        if (!ok || number < 1 || number > count())
            return {u"error bridge takes a number from 1 to %1"_s.arg(count())};
        words = words.mid(2);
        const QString command = words.value(0).toLower();
        if (command.isEmpty() || command == u"quit" || command == u"help")
            return {u"error bridge %1 takes one of the bridge's commands"_s.arg(number)};
    }
    Simulator::Reply reply = bridge(number).control(words.join(u' '));
    const QString prefix = u"bridge %1 "_s.arg(number);
    if (reply.text.startsWith(u"status ") && m_options.bridges > 0) {
        reply.text.insert(7,
                          u"bridge=%1 address=%2 fault=%3 "_s.arg(number).arg(
                              addressOf(m_options, number).toString(), faultName(faultOf(number))));
    } else if (reply.text.startsWith(u"commands: ")) {
        reply.text.insert(10, u"bridge <n> <command>, "_s);
    } else if (addressed && reply.text.startsWith(u"ok ")) {
        reply.text.insert(3, prefix);
    } else if (addressed && reply.text.startsWith(u"error ")) {
        reply.text.insert(6, prefix);
    }
    return reply;
}

} // namespace kalveno::sim
