#include "replayscript.h"

#include "protocol/logreader.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

using Kind = ReplayStep::Kind;
using Side = ReplayScript::Side;

// What a log's link name says.
enum class Name { Tcp, Udp, ConsolePort, SimulatorLine, Simulator, ConsoleLog, Unknown };

struct NamedLink
{
    Name name = Name::Unknown;
    quint16 port = 0;
};

NamedLink readName(const QString &link)
{
    if (link == linkname::Udp)
        return {Name::Udp};
    if (link == linkname::SimulatorLine)
        return {Name::SimulatorLine};
    if (link == linkname::Simulator)
        return {Name::Simulator};
    if (link == linkname::ConsoleLog)
        return {Name::ConsoleLog};
    if (const std::optional<quint16> port = linkname::tcpPort(link))
        return {Name::Tcp, *port};
    if (linkname::isSerialPort(link))
        return {Name::ConsolePort};
    return {};
}

std::optional<Side> sideOf(Name name)
{
    switch (name) {
    case Name::ConsolePort:
    case Name::ConsoleLog:
        return Side::Console;
    case Name::SimulatorLine:
    case Name::Simulator:
        return Side::Simulator;
    default:
        return std::nullopt;
    }
}

// The events that the replay honours, in the words of both logs. The console's TCP link:
// "connected to <host>:<port>", "closed by the peer", "closed"; its serial port: "opened
// <device>", "reopened <device>". The simulator's TCP ports: "client <peer> connected[, replaces
// <peer>]", "client <peer> gone: dropped" (closed by the bridge), "client <peer> gone: <why>";
// its line: "line opened by a program".
std::optional<Kind> eventStep(Name name, const QString &what)
{
    if (name == Name::Tcp) {
        if (what.startsWith(u"connected to "))
            return Kind::Connect;
        if (what == u"closed by the peer")
            return Kind::BridgeCloses;
        if (what == u"closed")
            return Kind::ConsoleCloses;
        if (what.startsWith(u"client ")) {
            if (what.endsWith(u" gone: dropped"))
                return Kind::BridgeCloses;
            if (what.contains(u" gone: "))
                return Kind::ConsoleCloses;
            if (what.contains(u" connected"))
                return Kind::Connect;
        }
        return std::nullopt;
    }
    if ((name == Name::ConsolePort &&
         (what.startsWith(u"opened ") || what.startsWith(u"reopened "))) ||
        (name == Name::SimulatorLine && what == u"line opened by a program"))
        return Kind::Connect;
    return std::nullopt;
}

// A line of the log, kept until the side of the log is known.
struct Entry
{
    qint32 file;
    qint64 line;
    qint64 ms;
    qint32 link; // in the table of link names
    Direction direction;
    bool described; // a meaning was given
    std::optional<Kind> event;
    QByteArray bytes;
};

class Builder
{
public:
    explicit Builder(ReplayScript *script)
        : m_script(script)
    {}

    bool readFile(qint32 file, QString *error);
    bool build(QString *error);

private:
    qint32 linkIndex(const QString &name);
    std::optional<Kind> stepKind(const Entry &entry) const;
    qsizetype scriptFor(const QString &name, const NamedLink &link);

    ReplayScript *m_script;
    QList<Entry> m_entries;
    QStringList m_names;
    QList<NamedLink> m_links;
    std::optional<Side> m_side;
    qint64 m_lastMs = 0;
};

qint32 Builder::linkIndex(const QString &name)
{
    const qsizetype index = m_names.indexOf(name);
    if (index >= 0)
        return qint32(index);
    m_names.append(name);
    m_links.append(readName(name));
    return qint32(m_names.size() - 1);
}

bool Builder::readFile(qint32 file, QString *error)
{
    const QString path = m_script->files[file];
    logline::FileReader reader(path);
    if (!reader.open()) {
        *error = reader.error();
        return false;
    }
    std::optional<Side> side;
    while (std::optional<logline::Line> line = reader.next()) {
        const qint64 ms = line->time.toMSecsSinceEpoch();
        if (reader.lineNumber() == 1 && !m_entries.isEmpty() && ms < m_lastMs)
            m_script->warnings.append(
                u"%1 begins before the file before it ends: are the files in order?"_s.arg(path));
        m_lastMs = ms;
        const qint32 link = linkIndex(line->link);
        const Name name = m_links[link].name;
        if (const std::optional<Side> said = sideOf(name)) {
            if (side && *side != *said) {
                *error = u"%1:%2: the console's and the simulator's lines in one log"_s.arg(
                    path, QString::number(reader.lineNumber()));
                return false;
            }
            side = said;
        }
        const bool event = line->direction == Direction::Event;
        m_entries.append(
            {file, reader.lineNumber(), ms, link, line->direction, !line->meaning.isEmpty(),
             event ? eventStep(name, line->meaning) : std::nullopt, std::move(line->bytes)});
        if (event && name == Name::ConsoleLog && line->meaning.contains(u"could not be written"))
            m_script->warnings.append(u"%1:%2: %3; the replay may diverge there"_s.arg(
                path, QString::number(reader.lineNumber()), line->meaning));
    }
    if (reader.failed()) {
        *error = reader.error();
        return false;
    }
    if (side && m_side && *side != *m_side) {
        *error = u"%1: the log of the other side than the files before it"_s.arg(path);
        return false;
    }
    if (side)
        m_side = side;
    return true;
}

std::optional<Kind> Builder::stepKind(const Entry &entry) const
{
    if (entry.direction == Direction::Event)
        return entry.event;
    const bool console = m_script->side == Side::Console;
    if (entry.direction == Direction::Sent)
        return console ? Kind::Expect : Kind::Play;
    // The simulator logs a received chunk once as it was read, without a meaning, then again in
    // its parts, each with what it is.
    if (!console && entry.described)
        return std::nullopt;
    return console ? Kind::Play : Kind::Expect;
}

qsizetype Builder::scriptFor(const QString &name, const NamedLink &link)
{
    const LinkKind kind = link.name == Name::Tcp   ? LinkKind::Tcp
                          : link.name == Name::Udp ? LinkKind::Udp
                                                   : LinkKind::Serial;
    for (qsizetype i = 0; i < m_script->links.size(); ++i) {
        if (m_script->links[i].kind == kind && m_script->links[i].port == link.port)
            return i;
    }
    m_script->links.append({kind, link.port, name, {}});
    return m_script->links.size() - 1;
}

bool Builder::build(QString *error)
{
    m_script->side = m_side.value_or(Side::Console);
    const qint64 firstMs = m_entries.isEmpty() ? 0 : m_entries.first().ms;
    QList<qint64> lastMs; // of each link's script
    QString serialPort;   // the console's port whose bytes the line plays
    QStringList unknown;
    for (Entry &entry : m_entries) {
        const QString &name = m_names[entry.link];
        const NamedLink link = m_links[entry.link];
        if (link.name == Name::Unknown) {
            if (!unknown.contains(name)) {
                unknown.append(name);
                m_script->warnings.append(
                    u"%1:%2: link %3 is not the bridge's; its lines are left "
                    u"out"_s.arg(m_script->files[entry.file], QString::number(entry.line), name));
            }
            continue;
        }
        if (link.name == Name::Simulator || link.name == Name::ConsoleLog)
            continue;
        const std::optional<Kind> kind = stepKind(entry);
        if (!kind)
            continue;
        if (link.name == Name::ConsolePort && (*kind == Kind::Expect || *kind == Kind::Play)) {
            if (serialPort.isEmpty()) {
                serialPort = name;
            } else if (serialPort != name) {
                *error = u"%1:%2: bytes on %3 after %4, and the simulator has one serial line: "
                         u"keep the lines of one port"_s.arg(m_script->files[entry.file],
                                                             QString::number(entry.line), name,
                                                             serialPort);
                return false;
            }
        }
        const qsizetype index = scriptFor(name, link);
        if (index == lastMs.size())
            lastMs.append(firstMs);
        LinkScript &script = m_script->links[index];
        const qint64 last = lastMs[index];
        ReplayStep step;
        step.kind = *kind;
        step.file = entry.file;
        step.line = entry.line;
        step.gapMs = qMax<qint64>(0, entry.ms - last);
        step.bytes = std::move(entry.bytes);
        script.steps.append(std::move(step));
        lastMs[index] = qMax(last, entry.ms);
    }
    for (LinkScript &script : m_script->links) {
        if (script.kind == LinkKind::Serial && !serialPort.isEmpty())
            script.name = serialPort;
    }
    return true;
}

} // namespace

std::optional<ReplayScript> ReplayScript::read(const QStringList &files, QString *error)
{
    ReplayScript script;
    script.files = files;
    Builder builder(&script);
    for (qint32 file = 0; file < files.size(); ++file) {
        if (!builder.readFile(file, error))
            return std::nullopt;
    }
    if (!builder.build(error))
        return std::nullopt;
    return script;
}

} // namespace kalveno::sim
