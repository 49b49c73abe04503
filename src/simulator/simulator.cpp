#include "simulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDatagram>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

constexpr QByteArrayView ReconnectHead("\xFE\xFF\x06", 3);

QString onOff(bool on)
{
    return on ? u"on"_s : u"off"_s;
}

QString readLink(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    char target[4096];
    const ssize_t n = ::readlink(local.constData(), target, sizeof target);
    return n > 0 ? QFile::decodeName(QByteArray(target, n)) : QString();
}

QString phaseName(ReaderMaster::Phase phase)
{
    switch (phase) {
    case ReaderMaster::Phase::Idle:
        return u"idle"_s;
    case ReaderMaster::Phase::Selecting:
        return u"selecting"_s;
    case ReaderMaster::Phase::Querying:
        return u"querying"_s;
    case ReaderMaster::Phase::Pausing:
        break;
    }
    return u"pausing"_s;
}

} // namespace

Simulator::Simulator(const Options &options, Log *log, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_log(log)
    , m_io(&m_outputs)
    , m_turnstile(options.turnstile, &m_outputs)
    , m_reader(options.reader)
{
    m_io.setInput(1, options.inputs[0]);
    m_io.setInput(2, options.inputs[1]);
    m_readerTimer.setSingleShot(true);
    wire();
}

Simulator::~Simulator()
{
    // Members go in reverse order; none of them may reach the ones already gone.
    for (QObject *source : std::initializer_list<QObject *>{
             &m_tcp1, &m_tcp2, &m_udp, &m_line, &m_outputs, &m_turnstile, &m_readerTimer})
        source->disconnect(this);
    removeLink();
}

void Simulator::wire()
{
    for (const Link link : {Link::Tcp1, Link::Tcp2, Link::Serial}) {
        QTimer &quiet = inbound(link).quiet;
        quiet.setSingleShot(true);
        quiet.setInterval(m_options.quietMs);
        connect(&quiet, &QTimer::timeout, this, [this, link] { onQuiet(link); });
    }
    for (const Link link : {Link::Tcp1, Link::Tcp2}) {
        TcpPort &port = link == Link::Tcp1 ? m_tcp1 : m_tcp2;
        connect(&port, &TcpPort::received, this, [this, link](const QByteArray &bytes) {
            m_log->bytes(link, Direction::Rx, bytes);
            feed(link, bytes);
        });
        connect(&port, &TcpPort::clientConnected, this,
                [this, link](const QString &peer, const QString &replaced) {
                    resetInbound(link);
                    m_log->state(link,
                                 replaced.isEmpty()
                                     ? u"client %1 connected"_s.arg(peer)
                                     : u"client %1 connected, replaces %2"_s.arg(peer, replaced));
                });
        connect(&port, &TcpPort::clientGone, this,
                [this, link](const QString &peer, const QString &why) {
                    resetInbound(link);
                    m_log->state(link, u"client %1 gone: %2"_s.arg(peer, why));
                });
    }
    connect(&m_udp, &QUdpSocket::readyRead, this, &Simulator::onDatagrams);
    connect(&m_line, &PtyLine::received, this, &Simulator::onSerialBytes);
    connect(&m_line, &PtyLine::discarded, this, [this](qsizetype count) {
        m_log->state(Link::Serial, u"unplugged: %1 bytes from the line lost"_s.arg(count));
    });
    connect(&m_line, &PtyLine::attachedChanged, this, [this](bool attached) {
        resetInbound(Link::Serial);
        m_log->state(Link::Serial, attached ? u"line opened by a program"_s
                                            : u"line closed by the last program holding it"_s);
    });
    connect(&m_outputs, &Outputs::changed, this, [this](int output, bool on) {
        m_log->state(Link::Sim, outputName(output) + u' ' + onOff(on));
    });
    connect(&m_turnstile, &TurnstileFirmware::pollingChanged, this, &Simulator::updatePolling);
    connect(&m_turnstile, &TurnstileFirmware::passageClosed, this,
            [this](const QString &why) { m_log->state(Link::Sim, u"passage closed: "_s + why); });
    connect(&m_readerTimer, &QTimer::timeout, this, [this] { run(m_reader.timerExpired()); });
}

bool Simulator::start(QString *error)
{
    if (!m_line.open(error))
        return false;
    if (!m_tcp1.listen(m_options.tcpAddress, m_options.tcpPort, error) ||
        !m_tcp2.listen(m_options.tcpAddress, m_options.tcp2Port, error))
        return false;
    if (!m_udp.bind(m_options.udpAddress, m_options.udpPort, QUdpSocket::ShareAddress)) {
        *error = u"cannot bind UDP %1:%2: %3"_s.arg(m_options.udpAddress.toString())
                     .arg(m_options.udpPort)
                     .arg(m_udp.errorString());
        return false;
    }
    if (!m_options.linkPath.isEmpty() && !makeLink(error))
        return false;
    for (const QString &endpoint : endpoints())
        m_log->state(Link::Sim, u"listening "_s + endpoint);
    m_log->state(Link::Sim, u"firmware%1%2, inputs %3 %4"_s.arg(
                                m_options.ioFirmware ? u" io"_s : QString(),
                                m_options.turnstileFirmware ? u" turnstile"_s : QString(),
                                onOff(m_io.input(1)), onOff(m_io.input(2))));
    updatePolling();
    return true;
}

QStringList Simulator::endpoints() const
{
    QStringList lines{u"serial "_s + serialPath()};
    if (m_linkMade)
        lines.append(u"link "_s + m_options.linkPath);
    lines.append(u"tcp1 %1:%2"_s.arg(m_tcp1.address().toString()).arg(tcpPort()));
    lines.append(u"tcp2 %1:%2"_s.arg(m_tcp2.address().toString()).arg(tcp2Port()));
    lines.append(u"udp %1:%2"_s.arg(m_udp.localAddress().toString()).arg(udpPort()));
    return lines;
}

bool Simulator::makeLink(QString *error)
{
    const QString path = m_options.linkPath;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        // Most likely left behind by an earlier run that did not end cleanly.
        m_log->state(Link::Serial, u"replacing the link %1 to %2"_s.arg(path, readLink(path)));
        QFile::remove(path);
    } else if (info.exists()) {
        *error = u"%1 exists and is not a symbolic link; not replaced"_s.arg(path);
        return false;
    }
    QDir().mkpath(info.absolutePath());
    if (!QFile::link(serialPath(), path)) {
        *error = u"cannot make the link %1"_s.arg(path);
        return false;
    }
    m_linkMade = true;
    return true;
}

void Simulator::removeLink()
{
    // Only our own link goes: another run may have replaced it meanwhile.
    if (m_linkMade && readLink(m_options.linkPath) == serialPath())
        QFile::remove(m_options.linkPath);
    m_linkMade = false;
}

Simulator::Inbound &Simulator::inbound(Link link)
{
    switch (link) {
    case Link::Tcp1:
        return m_tcp1In;
    case Link::Tcp2:
        return m_tcp2In;
    default:
        return m_serialIn;
    }
}

void Simulator::resetInbound(Link link)
{
    Inbound &in = inbound(link);
    in.frames.clear();
    in.commands.clear();
    in.quiet.stop();
}

void Simulator::feed(Link link, QByteArrayView bytes)
{
    Inbound &in = inbound(link);
    if (m_options.ioFirmware) {
        in.frames.append(bytes);
        drainFrames(link);
    } else {
        passOn(link, bytes);
    }
    if (in.frames.held() > 0 || in.commands.held() > 0)
        in.quiet.start();
    else
        in.quiet.stop();
}

void Simulator::drainFrames(Link link)
{
    Inbound &in = inbound(link);
    for (auto item = in.frames.next(); item.status != FrameExtractor::Status::NeedMore;
         item = in.frames.next())
        takeFrameItem(link, item);
}

void Simulator::takeFrameItem(Link link, const FrameExtractor::Item &item)
{
    switch (item.status) {
    case FrameExtractor::Status::Frame:
        onFrame(link, item.bytes);
        break;
    case FrameExtractor::Status::Broken:
        m_log->state(link, u"dropped a frame without its end byte: "_s +
                               spacedHex(item.bytes, Log::HexLimit));
        break;
    case FrameExtractor::Status::Data:
        passOn(link, item.bytes);
        break;
    case FrameExtractor::Status::NeedMore:
        break;
    }
}

void Simulator::passOn(Link link, QByteArrayView bytes)
{
    if (link != Link::Tcp1 || !m_options.turnstileFirmware) {
        deliver(link, bytes);
        return;
    }
    CommandSplitter &commands = m_tcp1In.commands;
    commands.append(bytes);
    for (auto item = commands.next(); item.status != CommandSplitter::Status::NeedMore;
         item = commands.next())
        takeCommandItem(link, item);
}

void Simulator::takeCommandItem(Link link, const CommandSplitter::Item &item)
{
    if (item.status == CommandSplitter::Status::Command)
        onTextCommand(item.bytes);
    else
        deliver(link, item.bytes);
}

void Simulator::onQuiet(Link link)
{
    Inbound &in = inbound(link);
    if (m_options.ioFirmware)
        takeFrameItem(link, in.frames.flush());
    if (link == Link::Tcp1 && m_options.turnstileFirmware) {
        const auto items = in.commands.flush();
        for (const CommandSplitter::Item &item : items)
            takeCommandItem(link, item);
    }
}

void Simulator::deliver(Link from, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    switch (from) {
    case Link::Tcp1:
        if (m_reader.phase() != ReaderMaster::Phase::Idle) {
            m_log->state(Link::Serial,
                         u"dropped %1 bytes from tcp1: the line is polling the RFID reader"_s.arg(
                             bytes.size()));
            return;
        }
        transmit(Link::Serial, bytes);
        break;
    case Link::Tcp2:
        transmit(Link::Tcp2, bytes);
        break;
    case Link::Serial:
        transmit(Link::Tcp1, bytes);
        break;
    case Link::Udp:
    case Link::Sim:
        break;
    }
}

void Simulator::transmit(Link link, QByteArrayView bytes)
{
    qsizetype taken = 0;
    QString why;
    if (link == Link::Serial) {
        taken = m_line.write(bytes);
        why = !m_line.isPlugged()    ? u"unplugged"_s
              : !m_line.isAttached() ? u"no program holds the line"_s
                                     : u"line buffer full"_s;
    } else {
        TcpPort &port = link == Link::Tcp1 ? m_tcp1 : m_tcp2;
        taken = port.write(bytes);
        why = port.hasClient() ? u"client is not reading"_s : u"no client"_s;
    }
    if (taken > 0)
        m_log->bytes(link, Direction::Tx, bytes.first(taken));
    if (taken < bytes.size())
        m_log->state(link, u"dropped %1 bytes: %2"_s.arg(bytes.size() - taken).arg(why));
}

void Simulator::onFrame(Link link, QByteArrayView payload)
{
    const IoFirmware::Outcome outcome = m_io.handle(payload);
    m_log->frame(link, Direction::Rx, payload, outcome.meaning);
    if (!outcome.reply.isEmpty())
        transmit(link, outcome.reply);
}

void Simulator::onTextCommand(QByteArrayView text)
{
    const TurnstileFirmware::Outcome outcome = m_turnstile.handle(text);
    m_log->text(Link::Tcp1, Direction::Rx, text, outcome.meaning);
    if (outcome.reply.isEmpty())
        return;
    m_log->text(Link::Tcp1, Direction::Tx, outcome.reply, u"configuration reply"_s);
    transmit(Link::Tcp1, outcome.reply);
}

void Simulator::onSerialBytes(const QByteArray &bytes)
{
    m_log->bytes(Link::Serial, Direction::Rx, bytes);
    if (m_reader.phase() != ReaderMaster::Phase::Idle)
        run(m_reader.received(bytes));
    else
        feed(Link::Serial, bytes);
}

void Simulator::onDatagrams()
{
    while (m_udp.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_udp.receiveDatagram();
        const QByteArray bytes = datagram.data();
        const QString sender =
            u"%1:%2"_s.arg(datagram.senderAddress().toString()).arg(datagram.senderPort());
        m_log->bytes(Link::Udp, Direction::Rx, bytes);
        if (bytes.startsWith(ReconnectHead)) {
            m_log->text(Link::Udp, Direction::Rx, bytes.sliced(ReconnectHead.size()),
                        u"reconnect broadcast from "_s + sender);
            continue;
        }
        if (!m_options.ioFirmware) {
            m_log->state(Link::Udp, u"ignored a datagram from %1: no I/O firmware"_s.arg(sender));
            continue;
        }
        // Each datagram stands alone: nothing carries over to the next one.
        FrameExtractor frames;
        frames.append(bytes);
        QList<FrameExtractor::Item> items;
        for (auto item = frames.next(); item.status != FrameExtractor::Status::NeedMore;
             item = frames.next())
            items.append(item);
        if (auto rest = frames.flush(); rest.status != FrameExtractor::Status::NeedMore)
            items.append(rest);
        for (const FrameExtractor::Item &item : items) {
            if (item.status != FrameExtractor::Status::Frame) {
                m_log->state(Link::Udp, u"ignored %1 bytes from %2: not a command frame"_s
                                            .arg(item.bytes.size())
                                            .arg(sender));
                continue;
            }
            const IoFirmware::Outcome outcome = m_io.handle(item.bytes);
            m_log->frame(Link::Udp, Direction::Rx, item.bytes,
                         outcome.meaning + u", from "_s + sender);
            if (outcome.reply.isEmpty())
                continue;
            if (m_udp.writeDatagram(outcome.reply, datagram.senderAddress(),
                                    datagram.senderPort()) == outcome.reply.size())
                m_log->bytes(Link::Udp, Direction::Tx, outcome.reply);
            else
                m_log->state(Link::Udp,
                             u"reply to %1 not sent: %2"_s.arg(sender, m_udp.errorString()));
        }
    }
}

void Simulator::run(const ReaderMaster::Step &step)
{
    for (const ReaderMaster::Note &note : step.notes) {
        switch (note.kind) {
        case ReaderMaster::Note::Sent:
            m_log->reader(Link::Serial, Direction::Tx, note.bytes, note.meaning);
            break;
        case ReaderMaster::Note::Received:
            m_log->reader(Link::Serial, Direction::Rx, note.bytes, note.meaning);
            break;
        case ReaderMaster::Note::Problem:
            m_log->state(Link::Serial, u"reader: "_s + note.meaning +
                                           (note.bytes.isEmpty()
                                                ? QString()
                                                : u": "_s + spacedHex(note.bytes, Log::HexLimit)));
            break;
        }
    }
    if (!step.request.isEmpty())
        transmit(Link::Serial, step.request);
    if (step.timerMs == ReaderMaster::StopTimer)
        m_readerTimer.stop();
    else if (step.timerMs >= 0)
        m_readerTimer.start(step.timerMs);
    if (step.card)
        reportCard(*step.card);
}

void Simulator::reportCard(const ReaderMaster::Card &card)
{
    // One line per card read, which the console shows and, with its auto answer on, answers
    // with a passage.
    const QByteArray report =
        "CARD," + QByteArray::number(card.antenna) + ',' + cardText(card.id).toLatin1() + "\r\n";
    m_log->text(Link::Tcp1, Direction::Tx, report, u"card report"_s);
    transmit(Link::Tcp1, report);
}

void Simulator::updatePolling()
{
    const bool poll = m_options.turnstileFirmware && m_turnstile.isPolling();
    const bool polling = m_reader.phase() != ReaderMaster::Phase::Idle;
    if (poll == polling)
        return;
    resetInbound(Link::Serial);
    if (poll) {
        m_log->state(Link::Serial, u"polling the RFID reader; the line is the reader's"_s);
        run(m_reader.start());
    } else {
        m_reader.stop();
        m_readerTimer.stop();
        m_log->state(Link::Serial, u"polling stopped; the line is a pass-through"_s);
    }
}

void Simulator::setInput(int input, bool on)
{
    m_io.setInput(input, on);
    m_log->state(Link::Sim, u"input %1 %2"_s.arg(input).arg(onOff(on)));
}

void Simulator::dropClients()
{
    m_tcp1.dropClient();
    m_tcp2.dropClient();
}

void Simulator::setPlugged(bool plugged)
{
    m_line.setPlugged(plugged);
    resetInbound(Link::Serial);
    m_log->state(Link::Serial, plugged ? u"plugged"_s : u"unplugged"_s);
}

bool Simulator::setPolling(bool on)
{
    if (!m_options.turnstileFirmware)
        return false;
    m_turnstile.setPolling(on ? '1' : '0');
    return true;
}

QString Simulator::status() const
{
    const TurnstileSettings &t = m_turnstile.settings();
    QStringList fields{u"status"_s};
    fields << u"firmware=%1"_s.arg(m_options.ioFirmware && m_options.turnstileFirmware
                                       ? u"both"_s
                                       : (m_options.ioFirmware ? u"io"_s : u"turnstile"_s));
    for (int input = 1; input <= 2; ++input)
        fields << u"input%1=%2"_s.arg(input).arg(onOff(m_io.input(input)));
    for (int output = 1; output <= 4; ++output)
        fields << u"output%1=%2"_s.arg(output).arg(onOff(m_outputs.isOn(output)));
    fields << u"green=%1"_s.arg(onOff(m_outputs.isOn(5)))
           << u"red=%1"_s.arg(onOff(m_outputs.isOn(6)))
           << u"arm=%1"_s.arg(onOff(m_outputs.isOn(7)));
    fields << u"polling=%1"_s.arg(QLatin1Char(t.polling)) << u"mode=%1"_s.arg(t.mode)
           << u"time-to-pass=%1"_s.arg(t.timeToPass)
           << u"validation-timeout=%1"_s.arg(t.validationTimeout) << u"cards=%1"_s.arg(t.cardCount);
    for (int i = 0; i < 3; ++i)
        fields << u"ip%1=%2"_s.arg(i + 2).arg(QString::fromLatin1(t.remoteAddresses[i]));
    fields << u"passage=%1"_s.arg(m_turnstile.passagePersons())
           << u"reader=%1"_s.arg(phaseName(m_reader.phase()))
           << u"tcp1=%1"_s.arg(m_tcp1.hasClient() ? m_tcp1.peer() : u"none"_s)
           << u"tcp2=%1"_s.arg(m_tcp2.hasClient() ? m_tcp2.peer() : u"none"_s)
           << u"serial=%1"_s.arg(m_line.isPlugged() ? u"plugged"_s : u"unplugged"_s)
           << u"line=%1"_s.arg(m_line.isAttached() ? u"open"_s : u"closed"_s);
    return fields.join(u' ');
}

Simulator::Reply Simulator::control(const QString &line)
{
    const QStringList words = line.simplified().toLower().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    m_log->state(Link::Sim, u"control: "_s + words.join(u' '));
    const QString command = words[0];
    const bool onOrOff = words.size() == 2 && (words[1] == u"on" || words[1] == u"off");
    if (command == u"input" && words.size() == 3 && (words[1] == u"1" || words[1] == u"2") &&
        (words[2] == u"on" || words[2] == u"off")) {
        setInput(words[1].toInt(), words[2] == u"on");
    } else if (command == u"drop" && words.size() == 1) {
        dropClients();
    } else if ((command == u"unplug" || command == u"plug") && words.size() == 1) {
        setPlugged(command == u"plug");
    } else if (command == u"polling" && onOrOff) {
        if (!setPolling(words[1] == u"on"))
            return {u"error polling needs the turnstile firmware"_s};
    } else if (command == u"status" && words.size() == 1) {
        return {status()};
    } else if (command == u"help" && words.size() == 1) {
        return {u"commands: input 1|2 on|off, drop, unplug, plug, polling on|off, status, help, "
                u"quit"_s};
    } else if (command == u"quit" && words.size() == 1) {
        return {u"ok quit"_s, true};
    } else {
        return {u"error unknown command: "_s + words.join(u' ')};
    }
    return {u"ok "_s + words.join(u' ')};
}

} // namespace kalveno::sim
