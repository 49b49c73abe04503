#include "options.h"

#include "cli/commandline.h"
#include "protocol/textcommand.h"

#include <QFileInfo>
#include <QHostAddress>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

const QString Description =
    uR"(Plays the serial-to-network bridge, with its I/O and turnstile firmware, so that the console
can be run and tested without the hardware.

Links:
  tcp1    TCP port of the bridge's first serial port (--tcp-port). One client at a time; a new
          client replaces the one before. Bytes pass both ways between it and the serial line;
          command frames (FE F8 08 02 .. 03) and turnstile text commands ("><..", "OK><..") are
          taken by the firmware and not passed on, refused ones included (a refused command
          runs to the next "><", "*", CR or LF, or until the stream goes quiet).
  tcp2    TCP port of the second serial port (--tcp2-port). Nothing is wired to that line: what
          a client sends comes back to it (a loop-back plug), except command frames.
  udp     Command frames in datagrams (--udp-port, on 0.0.0.0 so that broadcasts arrive); status
          answers go back to the sender. The reconnect broadcast (FE FF 06 + address) is logged.
  serial  A pseudo-terminal; its device is printed at start (--link makes a symbolic link to it).
          Command frames from it are answered on it. While the turnstile polls its RFID reader
          (polling 1), the line belongs to the reader: the simulator sends antenna selects and
          card queries, the bytes it receives are the reader's replies and are not passed to
          tcp1, bytes from tcp1 for the line are dropped, and each card that appears on an
          antenna is reported to the tcp1 client as "CARD,<antenna>,<16 hex digits>" CR LF.

A site (--bridges N): N bridges in one process, on consecutive addresses from --address
(127.0.1.1, 127.0.1.2, ...; every 127.x.y.z address is on the loopback interface), each with its
own outputs, inputs, turnstile settings and both TCP ports, on the same port numbers (with port 0,
those that the first bridge was given). The UDP port is shared: a datagram goes to the bridge
whose address it was sent to, and a broadcast to every bridge, each answering the sender. The
serial line and --link are bridge 1's alone: the other bridges have no line, so what their tcp1
clients send for it is dropped, and their turnstile does not poll a reader. --fault I:KIND
gives bridge I one fault: absent (nothing listens at its address, no UDP answer), silent (takes
connections and bytes and never answers), no-turnstile (the I/O firmware alone: no
configuration reply), loop-corrupt (tcp2 changes one byte of every 1000 it echoes, one per send
test pass) or input1-stuck (input 1 always reads on). The log names each bridge's links
"bridge <I> TCP <port>", "bridge <I> UDP", ... A control command goes to bridge 1 unless it
begins "bridge <I>".

--jig OUT:IN,... wires outputs to inputs on every bridge, as on a test jig: an input is on while
an output wired to it is on, and its status byte goes out as for the control command "input".

A change of a TTL input sends its status byte at once (F2/F3 input 1 on/off, F4/F5 input 2
on/off), with the I/O firmware, to the tcp1 and tcp2 clients and on the serial line, as the
bridge mixes them into its traffic; not on the serial line while it polls the RFID reader,
which would take the byte for the start of a request and lose its next ones.

Control commands, one per line on standard input (answered on standard output with "ok ...",
"error ..." or the status line):
  bridge I COMMAND   one of the commands below for bridge I of a site (bridge 1 without it)
  input 1|2 on|off   set a TTL input
  drop               drop the TCP clients
  unplug | plug      the serial line stops or starts carrying bytes both ways
  polling on|off     set the turnstile's polling to 1 or 0
  status             one line of key=value fields
  help               list the commands
  quit               end (as do SIGINT and SIGTERM; the --link link is removed)

Standard output first says where the links are, one per line ("serial <device>", "link <path>",
"tcp1 <address>:<port>", "tcp2 ...", "udp ..."), then "ready".

Log (stderr, or --log FILE flushed per line), the session log format that the console shares:
one line per chunk or event, six fields separated by tabs:
  <time> <link> sent|received|event <count> <hex bytes> <meaning>
  time   local, ISO 8601 with milliseconds and UTC offset: 2026-12-07T14:03:09.512+01:00
  link   "TCP <port>" for tcp1 and tcp2, "UDP", "serial" (the pseudo-terminal) or "sim" (the
         simulator's own state); sent and received are the simulator's
  hex    every byte of the chunk, lower-case pairs separated by spaces
A received line without a meaning is a chunk as it was read; the received lines with a meaning
that follow it tell what parts of it were (a command frame, a turnstile command, an RFID reader
reply, a broadcast). A sent line is one write, with what it carries. Events (clients, the line,
outputs, polling, control commands, drops) carry no bytes. In the meaning, \\, \t, \r, \n and
\xHH stand for a backslash, tab, CR, LF and other control characters.

Replay (--replay LOG [LOG...], the files of one session in order): the simulator plays the
bridge of a session log instead of its firmware. The console's logs (links COM<n> and log) give
directions from the console's side, the simulator's own --log (links serial and sim) from the
simulator's; a log with a broken line is refused, with its file and line. The log's TCP <port>
plays on the port of that number, COM<n> or serial on the line, UDP to whoever sent the latest
datagram. On each link, the bytes the console sends are matched in order against what the log
says it sent, whatever the chunking; each chunk the bridge sent goes once everything the console
sent before it on that link has come, and no sooner than its recorded distance from the entry
before it, divided by --replay-speed (0: at once). A connection the bridge closed is closed at
its place; the console's connections and closes are awaited. Bytes the log does not have next
are a divergence, reported on standard output and in the log: the replay looks for where they
meet the expected entry or one of the next 8 entries the console sent on that link (never past
a connection event), drops what comes before, skips the entries jumped over with the bridge's
chunks between them, and goes on there; found nowhere, the bytes are dropped and the replay
waits for the entry it expected. "status" adds replay=playing|finished, replayed, waiting and
divergences; "replay finished: ..." or, when it ends sooner, "replay stopped: ..." tells the
same at the end. --replay-strict ends the replay at the first divergence, with exit status 1.)"_s;

bool readOnOff(const QCommandLineParser &parser, const QString &name, bool *on, QString *error)
{
    if (!parser.isSet(name))
        return true;
    const QString value = parser.value(name);
    if (value != u"on" && value != u"off") {
        *error = u"--%1 takes on or off"_s.arg(name);
        return false;
    }
    *on = value == u"on";
    return true;
}

constexpr int MaxBridges = 16384;

const std::array<std::pair<Fault, QStringView>, 5> FaultNames = {{
    {Fault::Absent, u"absent"},
    {Fault::Silent, u"silent"},
    {Fault::NoTurnstile, u"no-turnstile"},
    {Fault::LoopCorrupt, u"loop-corrupt"},
    {Fault::Input1Stuck, u"input1-stuck"},
}};

void addSiteOptions(QCommandLineParser *parser)
{
    parser->addOptions({
        {u"bridges"_s,
         u"Play this many bridges on consecutive IPv4 addresses from --address (1 to %1)."_s.arg(
             MaxBridges),
         u"count"_s},
        {u"fault"_s,
         u"Give bridge I one fault: absent, silent, no-turnstile, loop-corrupt or input1-stuck "
         u"(repeatable)."_s,
         u"I:kind"_s},
        {u"jig"_s, u"Wire outputs to inputs on every bridge, such as 1:1,2:2."_s, u"out:in,..."_s},
    });
}

bool readSiteOptions(const QCommandLineParser &parser, Options *options, QString *error)
{
    if (!cli::readNumber(parser, u"bridges"_s, 1, MaxBridges, &options->bridges, error))
        return false;
    if (options->bridges > 0) {
        const quint32 first = options->tcpAddress.toIPv4Address();
        if (options->tcpAddress.protocol() != QAbstractSocket::IPv4Protocol ||
            first > quint32(-1) - quint32(options->bridges - 1)) {
            *error = u"--bridges needs an IPv4 --address with room for %1 addresses after it"_s.arg(
                options->bridges);
            return false;
        }
    }
    const int count = qMax(1, options->bridges);
    for (const QString &value : parser.values(u"fault"_s)) {
        bool ok = false;
        const int bridge = value.section(u':', 0, 0).toInt(&ok);
        const QString kind = value.section(u':', 1);
        const auto named = std::find_if(FaultNames.begin(), FaultNames.end(),
                                        [&kind](const auto &name) { return name.second == kind; });
        if (!ok || bridge < 1 || bridge > count || named == FaultNames.end()) {
            *error = u"--fault takes I:KIND with I from 1 to %1 and KIND absent, silent, "
                     u"no-turnstile, loop-corrupt or input1-stuck, not %2"_s.arg(count)
                         .arg(value);
            return false;
        }
        if (!options->faults.emplace(bridge, named->first).second) {
            *error = u"--fault: bridge %1 is given two faults"_s.arg(bridge);
            return false;
        }
    }
    if (parser.isSet(u"jig"_s)) {
        std::optional<QList<bridgeio::JigWire>> jig =
            bridgeio::parseJig(parser.value(u"jig"_s), error);
        if (!jig) {
            *error = u"--jig: "_s + *error;
            return false;
        }
        options->jig = *jig;
    }
    return true;
}

// --replay and its own options; the firmware's options, which a replay does not run, are refused
// with it rather than ignored.
bool readReplay(const QCommandLineParser &parser, Options *options, QString *error)
{
    if (!parser.isSet(u"replay"_s)) {
        for (const QString &name : {u"replay-speed"_s, u"replay-strict"_s}) {
            if (parser.isSet(name)) {
                *error = u"--%1 needs --replay"_s.arg(name);
                return false;
            }
        }
        return true;
    }
    for (const QString &name : {u"bridges"_s, u"fault"_s, u"jig"_s}) {
        if (parser.isSet(name)) {
            *error = u"--%1 does not go with --replay, which plays the one bridge of its log"_s.arg(
                name);
            return false;
        }
    }
    for (const QString &name :
         {u"input1"_s, u"input2"_s, u"firmware"_s, u"polling"_s, u"mode"_s, u"time-to-pass"_s,
          u"validation-timeout"_s, u"cards"_s, u"remote-ips"_s, u"reply-timeout"_s,
          u"round-pause"_s, u"quiet-time"_s}) {
        if (parser.isSet(name)) {
            *error = u"--%1 sets the firmware, which --replay does not run"_s.arg(name);
            return false;
        }
    }
    options->replayFiles = parser.values(u"replay"_s) + parser.positionalArguments();
    if (parser.isSet(u"replay-speed"_s)) {
        bool ok = false;
        options->replaySpeed = parser.value(u"replay-speed"_s).toDouble(&ok);
        if (!ok || !std::isfinite(options->replaySpeed) || options->replaySpeed < 0 ||
            options->replaySpeed > 1000) {
            *error = u"--replay-speed takes a number from 0 to 1000"_s;
            return false;
        }
    }
    options->replayStrict = parser.isSet(u"replay-strict"_s);
    // The log file is replaced at start: it must not be one that the replay reads.
    const QFileInfo log(parser.value(u"log"_s));
    for (const QString &file : std::as_const(options->replayFiles)) {
        if (parser.isSet(u"log"_s) && log.exists() && QFileInfo(file) == log) {
            *error = u"--log would replace %1, which --replay reads"_s.arg(file);
            return false;
        }
    }
    return true;
}

} // namespace

QString faultName(Fault fault)
{
    for (const auto &[value, name] : FaultNames) {
        if (value == fault)
            return name.toString();
    }
    return u"none"_s;
}

void addOptions(QCommandLineParser *parser)
{
    parser->setApplicationDescription(Description);
    parser->addHelpOption();
    parser->addOptions({
        {u"address"_s, u"Address of the TCP listeners (default 127.0.0.1)."_s, u"address"_s},
        {u"tcp-port"_s, u"TCP port of the first serial port (default 1024; 0 any)."_s, u"port"_s},
        {u"tcp2-port"_s, u"TCP port of the second serial port (default 1025; 0 any)."_s, u"port"_s},
        {u"udp-address"_s, u"Address of the UDP listener (default 0.0.0.0)."_s, u"address"_s},
        {u"udp-port"_s, u"UDP port for command frames (default 1024; 0 any)."_s, u"port"_s},
        {u"link"_s,
         u"Make a symbolic link to the serial line's device, such as "
         u"~/.config/kalveno/com1; an old link there is replaced, and the link is removed "
         u"at the end."_s,
         u"path"_s},
        {u"log"_s, u"Write the log to this file (replaced) instead of stderr."_s, u"file"_s},
        {u"input1"_s, u"TTL input 1 at start: on or off (default off)."_s, u"state"_s},
        {u"input2"_s, u"TTL input 2 at start: on or off (default off)."_s, u"state"_s},
        {u"firmware"_s, u"Firmware that runs: io, turnstile or both (default both)."_s, u"which"_s},
        {u"polling"_s,
         u"Turnstile RFID polling: 0 off, 1 polls the reader, 2 other reader, not polled "
         u"(default 0)."_s,
         u"digit"_s},
        {u"mode"_s, u"Turnstile mode, 0 to 5 (default 0)."_s, u"mode"_s},
        {u"time-to-pass"_s, u"Time to pass in seconds (default 5)."_s, u"seconds"_s},
        {u"validation-timeout"_s, u"Card validation time-out in seconds (default 3)."_s,
         u"seconds"_s},
        {u"cards"_s, u"Unvalidated cards before going offline (default 3)."_s, u"count"_s},
        {u"remote-ips"_s, u"Remote antenna addresses: ip2,ip3,ip4 (default empty)."_s, u"list"_s},
        {u"reply-timeout"_s, u"Milliseconds to wait for each RFID reader reply (default 500)."_s,
         u"ms"_s},
        {u"round-pause"_s, u"Milliseconds between RFID polling rounds (default 500)."_s, u"ms"_s},
        {u"quiet-time"_s,
         u"Milliseconds of silence after which a partial frame or command is taken as it is "
         u"(default 200)."_s,
         u"ms"_s},
        {u"replay"_s,
         u"Play the bridge of this session log, and of the further files named after the "
         u"options, instead of the firmware."_s,
         u"log"_s},
        {u"replay-speed"_s,
         u"Divide the recorded gaps by this factor (default 1; 0 sends at once)."_s, u"factor"_s},
        {u"replay-strict"_s, u"End the replay at the first divergence, with exit status 1."_s},
    });
    addSiteOptions(parser);
}

bool readOptions(const QCommandLineParser &parser, Options *options, QString *error)
{
    if (!parser.isSet(u"replay"_s) && !parser.positionalArguments().isEmpty()) {
        *error = u"unexpected argument: "_s + parser.positionalArguments().constFirst();
        return false;
    }
    TurnstileSettings &t = options->turnstile;
    int polling = t.polling - '0';
    using cli::readNumber;
    if (!cli::readAddress(parser, u"address"_s, &options->tcpAddress, error) ||
        !cli::readPort(parser, u"tcp-port"_s, 0, &options->tcpPort, error) ||
        !cli::readPort(parser, u"tcp2-port"_s, 0, &options->tcp2Port, error) ||
        !cli::readAddress(parser, u"udp-address"_s, &options->udpAddress, error) ||
        !cli::readPort(parser, u"udp-port"_s, 0, &options->udpPort, error) ||
        !readOnOff(parser, u"input1"_s, &options->inputs[0], error) ||
        !readOnOff(parser, u"input2"_s, &options->inputs[1], error) ||
        !readNumber(parser, u"polling"_s, 0, 2, &polling, error) ||
        !readNumber(parser, u"mode"_s, 0, 5, &t.mode, error) ||
        !readNumber(parser, u"time-to-pass"_s, 0, 99999, &t.timeToPass, error) ||
        !readNumber(parser, u"validation-timeout"_s, 0, 99999, &t.validationTimeout, error) ||
        !readNumber(parser, u"cards"_s, 0, 99, &t.cardCount, error) ||
        !readNumber(parser, u"reply-timeout"_s, 1, 60000, &options->reader.replyTimeoutMs, error) ||
        !readNumber(parser, u"round-pause"_s, 1, 60000, &options->reader.roundPauseMs, error) ||
        !readNumber(parser, u"quiet-time"_s, 1, 60000, &options->quietMs, error))
        return false;
    t.polling = char('0' + polling);

    if (parser.isSet(u"firmware"_s)) {
        const QString firmware = parser.value(u"firmware"_s);
        if (firmware != u"io" && firmware != u"turnstile" && firmware != u"both") {
            *error = u"--firmware takes io, turnstile or both"_s;
            return false;
        }
        options->ioFirmware = firmware != u"turnstile";
        options->turnstileFirmware = firmware != u"io";
    }
    if (parser.isSet(u"remote-ips"_s)) {
        const QList<QByteArray> addresses = parser.value(u"remote-ips"_s).toLatin1().split(',');
        if (addresses.size() > 3) {
            *error = u"--remote-ips takes at most three addresses"_s;
            return false;
        }
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            const QByteArray address = addresses[i].trimmed();
            if (!textcommand::isRemoteAddress(address)) {
                *error =
                    u"--remote-ips: %1 is not an IPv4 address"_s.arg(QString::fromLatin1(address));
                return false;
            }
            t.remoteAddresses[i] = address;
        }
    }
    options->linkPath = parser.value(u"link"_s);
    return readSiteOptions(parser, options, error) && readReplay(parser, options, error);
}

} // namespace kalveno::sim
