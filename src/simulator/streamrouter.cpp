#include "streamrouter.h"

#include "iofirmware.h"
#include "options.h"
#include "streamlinks.h"
#include "turnstilefirmware.h"

#include "protocol/bridgeio.h"
#include "protocol/sendtest.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

StreamRouter::StreamRouter(const Options &options, StreamLinks *links, IoFirmware *io,
                           TurnstileFirmware *turnstile, Log *log, QObject *parent)
    : QObject(parent)
    , m_ioFirmware(options.ioFirmware)
    , m_turnstileFirmware(options.turnstileFirmware)
    , m_links(links)
    , m_io(io)
    , m_turnstile(turnstile)
    , m_log(log)
{
    for (const Link link : {Link::Tcp1, Link::Tcp2, Link::Serial}) {
        QTimer &quiet = inbound(link).quiet;
        quiet.setSingleShot(true);
        quiet.setInterval(options.quietMs);
        connect(&quiet, &QTimer::timeout, this, [this, link] { onQuiet(link); });
    }
}

StreamRouter::Inbound &StreamRouter::inbound(Link link)
{
    return m_inbound[link == Link::Tcp1 ? 0 : link == Link::Tcp2 ? 1 : 2];
}

void StreamRouter::restart(Link link)
{
    if (link == Link::Tcp2)
        m_echoed = 0;
    Inbound &in = inbound(link);
    in.frames.clear();
    in.commands.clear();
    in.quiet.stop();
}

void StreamRouter::setReaderHasLine(bool has)
{
    m_readerHasLine = has;
    restart(Link::Serial);
}

void StreamRouter::feed(Link link, const QByteArray &bytes)
{
    if (link == Link::Serial && m_readerHasLine)
        return;
    Inbound &in = inbound(link);
    if (m_ioFirmware) {
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

void StreamRouter::drainFrames(Link link)
{
    Inbound &in = inbound(link);
    for (auto item = in.frames.next(); item.status != FrameExtractor::Status::NeedMore;
         item = in.frames.next())
        takeFrameItem(link, item);
}

void StreamRouter::takeFrameItem(Link link, const FrameExtractor::Item &item)
{
    switch (item.status) {
    case FrameExtractor::Status::Frame: {
        const IoFirmware::Outcome outcome = m_io->handle(item.bytes);
        m_log->bytes(link, Direction::Received, bridgeio::frame(item.bytes),
                     u"frame: "_s + outcome.meaning);
        if (!outcome.reply.isEmpty())
            m_links->send(link, outcome.reply, statusMeaning(outcome.reply));
        break;
    }
    case FrameExtractor::Status::Broken:
        m_log->bytes(link, Direction::Received, item.bytes,
                     u"frame without its end byte, dropped"_s);
        break;
    case FrameExtractor::Status::Data:
        passOn(link, item.bytes);
        break;
    case FrameExtractor::Status::NeedMore:
        break;
    }
}

void StreamRouter::passOn(Link link, QByteArrayView bytes)
{
    if (link != Link::Tcp1 || !m_turnstileFirmware) {
        deliver(link, bytes);
        return;
    }
    CommandSplitter &commands = inbound(link).commands;
    commands.append(bytes);
    for (auto item = commands.next(); item.status != CommandSplitter::Status::NeedMore;
         item = commands.next())
        takeCommandItem(item);
}

void StreamRouter::takeCommandItem(const CommandSplitter::Item &item)
{
    if (item.status != CommandSplitter::Status::Command) {
        deliver(Link::Tcp1, item.bytes);
        return;
    }
    const TurnstileFirmware::Outcome outcome = m_turnstile->handle(item.bytes);
    m_log->bytes(Link::Tcp1, Direction::Received, item.bytes, u"command: "_s + outcome.meaning);
    if (!outcome.reply.isEmpty())
        m_links->send(Link::Tcp1, outcome.reply, u"configuration reply"_s);
}

void StreamRouter::onQuiet(Link link)
{
    Inbound &in = inbound(link);
    if (m_ioFirmware)
        takeFrameItem(link, in.frames.flush());
    if (link == Link::Tcp1 && m_turnstileFirmware) {
        const auto items = in.commands.flush();
        for (const CommandSplitter::Item &item : items)
            takeCommandItem(item);
    }
}

void StreamRouter::deliver(Link from, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    switch (from) {
    case Link::Tcp1: {
        const QString tcp1 = linkname::tcp(m_links->tcp(Link::Tcp1).port());
        if (m_readerHasLine) {
            m_log->state(
                Link::Serial,
                u"dropped %1 bytes from %2: the line is polling the RFID reader"_s.arg(bytes.size())
                    .arg(tcp1));
            return;
        }
        m_links->send(Link::Serial, bytes, u"data from "_s + tcp1);
        break;
    }
    case Link::Tcp2:
        if (m_corruptLoop)
            echoCorrupted(bytes);
        else
            m_links->send(Link::Tcp2, bytes, u"echo"_s);
        break;
    case Link::Serial:
        m_links->send(Link::Tcp1, bytes, u"data from the serial line"_s);
        break;
    case Link::Udp:
    case Link::Sim:
        break;
    }
}

void StreamRouter::echoCorrupted(QByteArrayView bytes)
{
    // The middle byte of each pattern's length of the stream, counted from the client's first.
    constexpr qsizetype Length = sendtest::PatternLength;
    QByteArray echo = bytes.toByteArray();
    qsizetype at = (Length / 2 - m_echoed % Length + Length) % Length;
    for (; at < echo.size(); at += Length)
        echo[at] = char(echo[at] ^ 1);
    m_echoed += echo.size();
    m_links->send(Link::Tcp2, echo, u"echo, one byte in %1 changed"_s.arg(Length));
}

void StreamRouter::reportInput(int input)
{
    if (!m_ioFirmware)
        return;
    const QByteArray status = m_io->statusByte(input);
    const QString meaning = statusMeaning(status) + u", changed"_s;
    for (const Link link : {Link::Tcp1, Link::Tcp2}) {
        if (m_links->tcp(link).hasClient())
            m_links->send(link, status, meaning);
    }
    if (m_readerHasLine)
        m_log->state(Link::Serial,
                     u"input %1 status byte not sent: the line is polling the RFID "
                     u"reader, which would take it for the start of a request"_s.arg(input));
    else
        m_links->send(Link::Serial, status, meaning);
}

} // namespace kalveno::sim
