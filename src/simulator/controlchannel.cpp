#include "controlchannel.h"

#include "iofirmware.h"
#include "log.h"
#include "options.h"
#include "outputs.h"
#include "readerlink.h"
#include "replaylink.h"
#include "streamlinks.h"
#include "streamrouter.h"
#include "turnstilefirmware.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

QString onOff(bool on)
{
    return on ? u"on"_s : u"off"_s;
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

ControlChannel::ControlChannel(const Parts &parts)
    : m_parts(parts)
{}

ControlChannel::Reply ControlChannel::handle(const QString &line)
{
    const QStringList words = line.simplified().toLower().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    m_parts.log->state(Link::Sim, u"control: "_s + words.join(u' '));
    const QString command = words[0];
    const bool onOrOff = words.size() == 2 && (words[1] == u"on" || words[1] == u"off");
    if (m_parts.replay && (command == u"input" || command == u"polling"))
        return {u"error %1: the replay plays the bridge, not its firmware"_s.arg(command)};
    if (command == u"input" && words.size() == 3 && (words[1] == u"1" || words[1] == u"2") &&
        (words[2] == u"on" || words[2] == u"off")) {
        if (!setInput(words[1].toInt(), words[2] == u"on"))
            return {u"error input %1 is stuck on"_s.arg(words[1])};
    } else if (command == u"drop" && words.size() == 1) {
        m_parts.links->dropClients();
    } else if ((command == u"unplug" || command == u"plug") && words.size() == 1) {
        m_parts.links->setPlugged(command == u"plug");
    } else if (command == u"polling" && onOrOff) {
        if (!m_parts.options->turnstileFirmware)
            return {u"error polling needs the turnstile firmware"_s};
        m_parts.turnstile->setPolling(words[1] == u"on" ? '1' : '0');
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

bool ControlChannel::setInput(int input, bool on, const QString &cause)
{
    const QString why = cause.isEmpty() ? QString() : u" ("_s + cause + u')';
    if (m_parts.io->input(input) == on) {
        m_parts.log->state(Link::Sim, u"input %1 already %2"_s.arg(input).arg(onOff(on)) + why);
        return true;
    }
    m_parts.io->setInput(input, on);
    if (m_parts.io->input(input) != on) {
        m_parts.log->state(Link::Sim,
                           u"input %1 stays %2: stuck"_s.arg(input).arg(onOff(!on)) + why);
        return false;
    }
    m_parts.log->state(Link::Sim, u"input %1 %2"_s.arg(input).arg(onOff(on)) + why);
    m_parts.router->reportInput(input);
    return true;
}

QString ControlChannel::status() const
{
    const Options &options = *m_parts.options;
    const TurnstileSettings &t = m_parts.turnstile->settings();
    const TcpPort &tcp1 = m_parts.links->tcp(Link::Tcp1);
    const TcpPort &tcp2 = m_parts.links->tcp(Link::Tcp2);
    const PtyLine &line = m_parts.links->line();
    QStringList fields{u"status"_s};
    fields << u"firmware=%1"_s.arg(options.ioFirmware && options.turnstileFirmware
                                       ? u"both"_s
                                       : (options.ioFirmware ? u"io"_s : u"turnstile"_s));
    for (int input = 1; input <= 2; ++input)
        fields << u"input%1=%2"_s.arg(input).arg(onOff(m_parts.io->input(input)));
    for (int output = 1; output <= 4; ++output)
        fields << u"output%1=%2"_s.arg(output).arg(onOff(m_parts.outputs->isOn(output)));
    fields << u"green=%1"_s.arg(onOff(m_parts.outputs->isOn(5)))
           << u"red=%1"_s.arg(onOff(m_parts.outputs->isOn(6)))
           << u"arm=%1"_s.arg(onOff(m_parts.outputs->isOn(7)));
    fields << u"polling=%1"_s.arg(QLatin1Char(t.polling)) << u"mode=%1"_s.arg(t.mode)
           << u"time-to-pass=%1"_s.arg(t.timeToPass)
           << u"validation-timeout=%1"_s.arg(t.validationTimeout) << u"cards=%1"_s.arg(t.cardCount);
    for (int i = 0; i < 3; ++i)
        fields << u"ip%1=%2"_s.arg(i + 2).arg(QString::fromLatin1(t.remoteAddresses[i]));
    fields << u"passage=%1"_s.arg(m_parts.turnstile->passagePersons())
           << u"reader=%1"_s.arg(phaseName(m_parts.reader->phase()))
           << u"tcp1=%1"_s.arg(tcp1.hasClient() ? tcp1.peer() : u"none"_s)
           << u"tcp2=%1"_s.arg(tcp2.hasClient() ? tcp2.peer() : u"none"_s)
           << u"serial=%1"_s.arg(line.isPlugged() ? u"plugged"_s : u"unplugged"_s)
           << u"line=%1"_s.arg(line.isAttached() ? u"open"_s : u"closed"_s);
    if (m_parts.replay)
        fields << m_parts.replay->statusFields();
    return fields.join(u' ');
}

} // namespace kalveno::sim
