#include "meaning.h"

#include "bridgeio.h"
#include "rfid.h"
#include "sendtest.h"
#include "ttlstatus.h"
#include "turnstile.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace kalveno::meaning {

namespace {

// A device value is quoted with at most MaxValue bytes and a payload with at most MaxHexBytes,
// so that no item grows with the chunk.
constexpr qsizetype MaxValue = 24;
constexpr qsizetype MaxHexBytes = 16;
// Fewer printable bytes than this between other bytes are what binary data holds by chance,
// not text.
constexpr qsizetype MinTextRun = 4;
// The send test writes the ten digits over and over (sendtest.h); the other link receives them
// in pieces of any size.
constexpr qsizetype MinPatternRun = 10;
constexpr QByteArrayView CommandStart = "><";
constexpr QByteArrayView Acknowledge = "OK";

// Printable ASCII, tab and line ends; a table, so that telling apart the bytes of a binary
// flood costs no branch.
constexpr auto TextBytes = [] {
    std::array<bool, 256> table{};
    for (int b = 0x20; b < 0x7F; ++b)
        table[b] = true;
    table['\t'] = table['\r'] = table['\n'] = true;
    return table;
}();

bool isText(char c)
{
    return TextBytes[static_cast<unsigned char>(c)];
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(QByteArrayView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isDigit);
}

bool isStatus(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= bridgeio::Input1On && b <= bridgeio::Input2Off;
}

QString counted(qsizetype n, QStringView one, QStringView many)
{
    return u"%1 %2"_s.arg(n).arg(n == 1 ? one : many);
}

// A device value on one line: printable ASCII as it is, any other byte as \xNN, cut when long.
QString shown(QByteArrayView bytes)
{
    QString s;
    for (const char c : bytes.first(qMin(bytes.size(), MaxValue))) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F)
            s += QLatin1Char(c);
        else
            s += u"\\x%1"_s.arg(uint(b), 2, 16, QChar(u'0'));
    }
    if (bytes.size() > MaxValue)
        s += u"..."_s;
    return s;
}

QString quoted(QByteArrayView bytes)
{
    return bytes.isEmpty() ? u"empty"_s : u'"' + shown(bytes) + u'"';
}

QString hex(QByteArrayView bytes)
{
    QString s =
        QString::fromLatin1(bytes.first(qMin(bytes.size(), MaxHexBytes)).toByteArray().toHex(' '));
    if (bytes.size() > MaxHexBytes)
        s += u" ... (%1 bytes)"_s.arg(bytes.size());
    return s;
}

// The zeros that two-digit fields add say nothing: "05" is 5, "00" is 0, ".3" stays .3.
QString number(QByteArrayView digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits[i] == '0' && isDigit(digits[i + 1]))
        ++i;
    return shown(digits.sliced(i));
}

QString seconds(QByteArrayView value)
{
    return allDigits(value) ? number(value) + u" s"_s : quoted(value);
}

// Whole numbers of persons or cards, with the noun in the right number.
QString howMany(QByteArrayView digits, QStringView one, QStringView many)
{
    const QString n = number(digits);
    return n + u' ' + (n == u"1" ? one : many).toString();
}

QString cardsBeforeOffline(QByteArrayView value)
{
    return allDigits(value) ? howMany(value, u"card before offline", u"cards before offline")
                            : u"cards before offline "_s + quoted(value);
}

QString remoteAntenna(int antenna, QByteArrayView address)
{
    return address.isEmpty() ? u"remote antenna %1 without an address"_s.arg(antenna)
                             : u"remote antenna %1 at %2"_s.arg(antenna).arg(shown(address));
}

QString polling(QByteArrayView value)
{
    if (value.isEmpty())
        return u"polling empty"_s;
    const QStringList &choices = turnstile::pollingChoices();
    const int index = value[0] - '0';
    // The choices read "0- Polling OFF": the digit and "- " go, the caption stays.
    if (value.size() == 1 && index >= 0 && index < choices.size())
        return choices.at(index).sliced(3).toLower();
    return u"polling %1, not a choice"_s.arg(quoted(value));
}

QString modeEntry(qsizetype index)
{
    return u"mode "_s + QString(turnstile::modes().at(index))
                            .remove(u": "_s + turnstile::TestPattern.toString());
}

QString statusMeaning(unsigned char b)
{
    switch (b) {
    case bridgeio::Input1On:
        return u"input 1 on"_s;
    case bridgeio::Input1Off:
        return u"input 1 off"_s;
    case bridgeio::Input2On:
        return u"input 2 on"_s;
    default:
        return u"input 2 off"_s;
    }
}

// The items of one chunk in byte order, cut after MaxItems. Input status bytes that were taken
// out of a received text before it was described come back as items of their own, each at its
// place among the others.
class Items
{
public:
    // Positions given to add() count in `received` without its status bytes.
    void takeStatusFrom(QByteArrayView received) { m_received = received; }

    // `describe` runs only for an item that is shown, so that a flood costs no text.
    template<typename Describe>
    void add(qsizetype at, Describe describe)
    {
        addStatusUpTo(at);
        append(describe);
    }

    QString text()
    {
        addStatusUpTo(std::numeric_limits<qsizetype>::max());
        if (m_more > 0)
            m_text += u"; and %1 more"_s.arg(m_more);
        return m_text;
    }

private:
    template<typename Describe>
    void append(Describe describe)
    {
        if (m_shown == MaxItems) {
            ++m_more;
            return;
        }
        if (m_shown > 0)
            m_text += u"; "_s;
        m_text += describe();
        ++m_shown;
    }

    void addStatusUpTo(qsizetype at)
    {
        for (;;) {
            while (m_next < m_received.size() && !isStatus(m_received[m_next]))
                ++m_next;
            // A status byte stands before the item that begins where the byte stood.
            if (m_next == m_received.size() || m_next - m_taken > at)
                return;
            const auto b = static_cast<unsigned char>(m_received[m_next]);
            append([b] { return statusMeaning(b); });
            ++m_next;
            ++m_taken;
        }
    }

    QByteArrayView m_received;
    qsizetype m_next = 0;  // where the search for the next status byte goes on
    qsizetype m_taken = 0; // status bytes before m_next
    QString m_text;
    int m_shown = 0;
    qsizetype m_more = 0;
};

// Bytes between recognised messages: runs of text, and everything else counted as
// unrecognised, short text runs inside it included. One pass that branches only where a run
// of text begins or ends, as binary floods change between text and other bytes all the time.
void describeGap(QByteArrayView bytes, qsizetype from, qsizetype to, Items &items)
{
    const auto addText = [&items](qsizetype start, qsizetype end) {
        items.add(start, [n = end - start] { return u"text, "_s + counted(n, u"byte", u"bytes"); });
    };
    const auto addBinary = [&items](qsizetype start, qsizetype end) {
        items.add(start, [n = end - start] {
            return counted(n, u"unrecognised byte", u"unrecognised bytes");
        });
    };
    const QByteArrayView gap = bytes.sliced(from, to - from);
    if (std::all_of(gap.begin(), gap.end(), isText)) {
        if (!gap.isEmpty())
            addText(from, to);
        return;
    }
    qsizetype untold = from; // where the bytes not yet described begin
    qsizetype textFrom = -1; // where the text run being read began, once it is long enough
    qsizetype run = 0;
    for (qsizetype i = from; i < to; ++i) {
        const bool text = isText(bytes[i]);
        run = (run + 1) * qsizetype(text);
        if (run == MinTextRun) {
            textFrom = i + 1 - run;
            if (textFrom > untold)
                addBinary(untold, textFrom);
        } else if (textFrom >= 0 && !text) {
            addText(textFrom, i);
            untold = i;
            textFrom = -1;
        }
    }
    if (textFrom >= 0)
        addText(textFrom, to);
    else
        addBinary(untold, to);
}

QString framePayloadMeaning(QByteArrayView payload)
{
    static const QList<std::pair<QByteArray, QString>> known = [] {
        QList<std::pair<QByteArray, QString>> list;
        for (int n = 1; n <= 4; ++n) {
            list.append({bridgeio::outputSwitch(n, true), u"TTL %1 OUT on"_s.arg(n)});
            list.append({bridgeio::outputSwitch(n, false), u"TTL %1 OUT off"_s.arg(n)});
            list.append({bridgeio::outputTwoSeconds(n), u"TTL %1 OUT on for 2 s"_s.arg(n)});
            list.append({bridgeio::outputPulse(n), u"TTL %1 pulse .3"_s.arg(n)});
        }
        for (int n = 1; n <= 2; ++n)
            list.append({bridgeio::inputStatusRequest(n), u"status request input %1"_s.arg(n)});
        list.append({bridgeio::BatchOn.toByteArray(), u"batch on"_s});
        list.append({bridgeio::BatchOff.toByteArray(), u"batch off"_s});
        return list;
    }();
    for (const auto &[bytes, meaning] : known) {
        if (payload == bytes)
            return meaning;
    }
    return payload.isEmpty() ? u"frame without a command"_s
                             : u"frame with unknown command "_s + hex(payload);
}

// `rest` begins with a frame head. The payload is not escaped: the frame ends at the first end
// byte after its head, and one that never comes takes the rest of the chunk with it.
qsizetype describeFrame(QByteArrayView rest, qsizetype at, Items &items)
{
    const qsizetype head = bridgeio::FrameHead.size();
    const qsizetype end = rest.indexOf(bridgeio::FrameEnd, head);
    if (end < 0) {
        items.add(at, [] { return u"frame without its end byte"_s; });
        return rest.size();
    }
    items.add(at,
              [payload = rest.sliced(head, end - head)] { return framePayloadMeaning(payload); });
    return end + 1;
}

// A turnstile command: "><", a family letter and parameters with nothing between numeric
// fields, so each form says where it ends.
struct Command
{
    enum Kind {
        Unknown,
        Output,
        Batch,
        Passage,
        Validation,
        Mode,
        Direct,
        ReadConfig,
        WriteConfig
    };
    Kind kind = Unknown;
    qsizetype length = 0; // from "><", without a closing "*"
    bool closed = false;  // a "*" follows
    QByteArrayView value; // duration, fields, mode character, data or configuration fields
    int output = 0;
    char action = 0;
    qsizetype announced = 0; // data bytes a direct command announces
};

bool isDurationChar(char c)
{
    return isDigit(c) || c == '.';
}

bool isFieldChar(char c)
{
    return isDigit(c) || c == '-';
}

qsizetype runEnd(QByteArrayView s, qsizetype from, bool (*accept)(char))
{
    while (from < s.size() && accept(s[from]))
        ++from;
    return from;
}

// A command of no known form ends at the next command, a "*" or a line end.
qsizetype unknownEnd(QByteArrayView s)
{
    for (qsizetype i = CommandStart.size(); i < s.size(); ++i) {
        if (s[i] == '*' || s[i] == '\r' || s[i] == '\n' || s.sliced(i).startsWith(CommandStart))
            return i;
    }
    return s.size();
}

Command parse(QByteArrayView s)
{
    Command c;
    const char family = s.size() > 2 ? s[2] : '\0';
    const char second = s.size() > 3 ? s[3] : '\0';
    if (family == 'T' && second >= '1' && second <= '7' && s.size() > 4) {
        // "><T" <output> then "E", "D" or "T" and a duration
        c.output = second - '0';
        c.action = s[4];
        if (c.action == 'E' || c.action == 'D') {
            c.kind = Command::Output;
            c.length = 5;
            return c;
        }
        const qsizetype end = runEnd(s, 5, isDurationChar);
        c.value = s.sliced(5, end - 5);
        if (c.action == 'T' && c.value.count('.') <= 1 &&
            std::any_of(c.value.begin(), c.value.end(), isDigit)) {
            c.kind = Command::Output;
            c.length = end;
            return c;
        }
    } else if (family == 'B') {
        for (const QByteArrayView batch : {bridgeio::BatchOn, bridgeio::BatchOff}) {
            if (s.startsWith(batch)) {
                c.kind = Command::Batch;
                c.value = batch;
                c.length = batch.size();
                return c;
            }
        }
    } else if (family == 'I' && (second == 'P' || second == 'T')) {
        const qsizetype end = runEnd(s, 4, isFieldChar);
        if (end > 4) {
            c.kind = second == 'P' ? Command::Passage : Command::Validation;
            c.value = s.sliced(4, end - 4);
            c.length = end;
            return c;
        }
    } else if (family == 'I' && second == 'M') {
        c.kind = Command::Mode;
        c.value = s.sliced(4).first(qMin<qsizetype>(1, s.size() - 4));
        c.length = 4 + c.value.size();
        return c;
    } else if (family == 'I' && second == 'D' && s.size() >= 6 && allDigits(s.sliced(4, 2))) {
        c.kind = Command::Direct;
        c.announced = s.sliced(4, 2).toInt();
        c.value = s.sliced(6).first(qMin(c.announced, s.size() - 6));
        c.length = 6 + c.value.size();
        return c;
    } else if (family == 'I' && second == 'R' && s.sliced(4).startsWith('?')) {
        c.kind = Command::ReadConfig;
        c.length = 5;
        return c;
    } else if (family == 'I' && second == 'R' && s.sliced(4).startsWith(',')) {
        const qsizetype star = s.indexOf('*', 5);
        c.kind = Command::WriteConfig;
        c.length = star < 0 ? s.size() : star;
        c.value = s.sliced(5, c.length - 5);
        return c;
    }
    c = {};
    c.length = unknownEnd(s);
    return c;
}

QString outputName(int output)
{
    switch (output) {
    case 5:
        return u"green LED"_s;
    case 6:
        return u"red LED"_s;
    case 7:
        return u"arm"_s;
    default:
        return u"TTL %1 OUT"_s.arg(output);
    }
}

// "<polling>,<ip2>,<ip3>,<ip4>": a comma typed into an address adds a field.
QString writeConfigMeaning(QByteArrayView fields, bool closed)
{
    QStringList parts;
    qsizetype from = 0;
    for (int index = 0; index <= 3; ++index) {
        if (from > fields.size()) {
            parts.append(u"remote antenna %1 missing"_s.arg(index + 1));
            continue;
        }
        qsizetype comma = fields.indexOf(',', from);
        if (comma < 0)
            comma = fields.size();
        const QByteArrayView field = fields.sliced(from, comma - from);
        parts.append(index == 0 ? polling(field) : remoteAntenna(index + 1, field));
        from = comma + 1;
    }
    if (from <= fields.size())
        parts.append(counted(fields.sliced(from).count(',') + 1, u"extra field", u"extra fields"));
    if (!closed)
        parts.append(u"no closing *"_s);
    return u"configuration write: "_s + parts.join(u", "_s);
}

QString commandMeaning(const Command &c, QByteArrayView text)
{
    switch (c.kind) {
    case Command::Output:
        if (c.action == 'E')
            return c.output == 7 ? u"drop the arm"_s : outputName(c.output) + u" on"_s;
        if (c.action == 'D')
            return outputName(c.output) + u" off"_s;
        return outputName(c.output) + u" on for %1 s"_s.arg(number(c.value));
    case Command::Batch:
        return c.value == bridgeio::BatchOn ? u"batch on"_s : u"batch off"_s;
    case Command::Passage:
        // Seconds, then persons, two digits each; wider fields cannot be told apart.
        if (c.value.size() != 4 || !allDigits(c.value))
            return u"passage, seconds and persons run together: "_s + shown(c.value);
        return u"passage: %1, %2"_s.arg(howMany(c.value.last(2), u"person", u"persons"),
                                        seconds(c.value.first(2)));
    case Command::Validation:
        if (c.value.size() != 4 || !allDigits(c.value))
            return u"validation time-out and cards run together: "_s + shown(c.value);
        return u"validation time-out %1, %2"_s.arg(seconds(c.value.first(2)),
                                                   cardsBeforeOffline(c.value.last(2)));
    case Command::Mode:
        if (c.value.isEmpty())
            return u"mode command without a mode"_s;
        if (const int index = c.value[0] - '0'; index >= 0 && index < turnstile::modes().size())
            return modeEntry(index);
        return u"mode %1, not in the list"_s.arg(quoted(c.value));
    case Command::Direct:
        if (c.value.size() < c.announced)
            return u"direct command cut short, %1 of %2 data bytes"_s.arg(c.value.size())
                .arg(c.announced);
        return u"direct command, "_s + counted(c.announced, u"data byte", u"data bytes");
    case Command::ReadConfig:
        return u"configuration request"_s;
    case Command::WriteConfig:
        return writeConfigMeaning(c.value, c.closed);
    case Command::Unknown:
        break;
    }
    return u"unknown command "_s + quoted(text);
}

// `rest` begins with "><" or "OK><". A "*" right after a command closes it.
qsizetype describeCommand(QByteArrayView rest, qsizetype at, Items &items)
{
    const bool acknowledged = rest.startsWith(Acknowledge);
    const QByteArrayView s = acknowledged ? rest.sliced(Acknowledge.size()) : rest;
    Command c = parse(s);
    c.closed = c.length < s.size() && s[c.length] == '*';
    items.add(at, [&c, s, acknowledged] {
        const QString meaning = commandMeaning(c, s.first(c.length));
        return acknowledged ? u"OK, "_s + meaning : meaning;
    });
    return rest.size() - s.size() + c.length + (c.closed ? 1 : 0);
}

// The length of the run of the send test's digits, each one more than the last, at the start.
qsizetype patternRun(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && isDigit(bytes[i]) &&
           (i == 0 || bytes[i] - '0' == (bytes[i - 1] - '0' + 1) % 10))
        ++i;
    return i;
}

// Frames anywhere, turnstile commands where the console writes them, the send test's pattern,
// text and the rest.
void describeBytes(QByteArrayView bytes, bool commands, Items &items)
{
    if (bytes.size() >= MinPatternRun && patternRun(bytes) == bytes.size()) {
        items.add(0, [n = bytes.size(),
                      whole = bytes.size() == sendtest::PatternLength && bytes[0] == '0'] {
            return whole ? u"send test pattern"_s
                         : u"part of the send test pattern, %1 bytes"_s.arg(n);
        });
        return;
    }
    qsizetype gap = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const char c = bytes[i];
        const QByteArrayView rest = bytes.sliced(i);
        const bool frame = c == bridgeio::FrameHead[0] && rest.startsWith(bridgeio::FrameHead);
        const bool command = commands && (c == '>' || c == 'O') &&
                             (rest.startsWith(CommandStart) ||
                              (rest.startsWith(Acknowledge) &&
                               rest.sliced(Acknowledge.size()).startsWith(CommandStart)));
        if (!frame && !command) {
            ++i;
            continue;
        }
        describeGap(bytes, gap, i, items);
        i += frame ? describeFrame(rest, i, items) : describeCommand(rest, i, items);
        gap = i;
    }
    describeGap(bytes, gap, bytes.size(), items);
}

QString readerRequest(QByteArrayView frame)
{
    const rfid::Request request = rfid::classify(frame);
    const QString cut = frame.size() < rfid::announcedLength(frame) ? u", cut short"_s : QString();
    switch (request.kind) {
    case rfid::Request::AntennaSelect:
        return u"reader: select antenna %1"_s.arg(request.antenna) + cut;
    case rfid::Request::CardQuery:
        return u"reader: card query"_s + cut;
    case rfid::Request::Other:
        break;
    }
    // Only an antenna select is left: its mask, the fifth byte, is missing or names no antenna.
    if (frame.size() < 5)
        return u"reader: antenna select cut short before its mask"_s;
    return u"reader: select antenna, mask %1 names no single antenna"_s.arg(
               hex(frame.sliced(4, 1))) +
           cut;
}

QString readerReply(QByteArrayView frame)
{
    if (frame.size() < rfid::announcedLength(frame))
        return u"reader: reply cut short"_s;
    const QString crc = rfid::hasValidCrc(frame) ? u", checksum right"_s : u", checksum wrong"_s;
    const rfid::Reply reply = rfid::readReply(frame);
    switch (reply.kind) {
    case rfid::Reply::AntennaSelected:
        return u"reader: antenna selected"_s + crc;
    case rfid::Reply::NoCard:
        return u"reader: no card"_s + crc;
    case rfid::Reply::Card:
        return u"reader: card "_s + rfid::cardText(reply.card) + crc;
    case rfid::Reply::Other:
        break;
    }
    return u"reader: unknown reply"_s + crc;
}

// The reader's frames at the start of a serial chunk, one after another: the master's requests
// (05, 06) when received, the console's replies (04, 0D) when sent. Returns where they end.
qsizetype describeReaderFrames(QByteArrayView chunk, bool sent, Items &items)
{
    qsizetype at = 0;
    while (at < chunk.size()) {
        const auto first = static_cast<unsigned char>(chunk[at]);
        if (sent ? first != 0x04 && first != 0x0D : first != 0x05 && first != 0x06)
            break;
        const QByteArrayView rest = chunk.sliced(at);
        const QByteArrayView frame = rest.first(qMin(rest.size(), rfid::announcedLength(rest)));
        items.add(at, [frame, sent] { return sent ? readerReply(frame) : readerRequest(frame); });
        at += frame.size();
    }
    return at;
}

QString configReplyMeaning(const turnstile::ConfigReply &reply)
{
    const QStringList parts = {
        polling(reply.polling.toLatin1()),
        reply.modeKnown ? modeEntry(turnstile::modes().indexOf(reply.modeText))
                        : u"mode %1, not in the list"_s.arg(quoted(reply.modeText.toLatin1())),
        u"time to pass "_s + seconds(reply.timeToPass.toLatin1()),
        u"validation time-out "_s + seconds(reply.validationTimeout.toLatin1()),
        cardsBeforeOffline(reply.cardCount.toLatin1()),
        remoteAntenna(2, reply.remoteAddresses[0].toLatin1()),
        remoteAntenna(3, reply.remoteAddresses[1].toLatin1()),
        remoteAntenna(4, reply.remoteAddresses[2].toLatin1()),
    };
    return u"configuration reply: "_s + parts.join(u", "_s);
}

// A reconnect broadcast, the console's own or, received, another console's.
bool describeBroadcast(QByteArrayView chunk, Items &items)
{
    const std::optional<QByteArrayView> address = bridgeio::reconnectAddress(chunk);
    if (!address)
        return false;
    items.add(0, [address = *address] {
        return address.isEmpty() ? u"reconnect broadcast without an address"_s
                                 : u"reconnect broadcast for "_s + shown(address);
    });
    return true;
}

void describeSent(const Context &context, QByteArrayView chunk, Items &items)
{
    if (context.link == LinkKind::Udp && describeBroadcast(chunk, items))
        return;
    const qsizetype readerEnd = context.link == LinkKind::Serial && context.readerLine
                                    ? describeReaderFrames(chunk, true, items)
                                    : 0;
    describeBytes(chunk.sliced(readerEnd), context.link == LinkKind::Tcp, items);
}

void describeReceived(const Context &context, QByteArrayView chunk, Items &items)
{
    if (context.link == LinkKind::Udp && describeBroadcast(chunk, items))
        return;
    const qsizetype readerEnd = context.link == LinkKind::Serial && context.readerLine
                                    ? describeReaderFrames(chunk, false, items)
                                    : 0;
    // The console takes the input status bytes out wherever they stand and reads the rest
    // without them; the configuration reply's fields, though, it takes from the bytes as
    // received. Most chunks hold no status byte and are read in place.
    const QByteArrayView rest = chunk.sliced(readerEnd);
    QByteArray withoutStatus;
    QByteArrayView display = rest;
    if (std::any_of(rest.begin(), rest.end(), isStatus)) {
        withoutStatus = takeTtlStatus(rest.toByteArray()).display;
        display = withoutStatus;
        items.takeStatusFrom(rest);
    }
    if (context.link == LinkKind::Tcp && turnstile::isConfigReply(display))
        items.add(0, [rest] { return configReplyMeaning(turnstile::decodeConfigReply(rest)); });
    else
        describeBytes(display, false, items);
}

} // namespace

QString of(const Context &context, QByteArrayView chunk)
{
    if (chunk.isEmpty())
        return u"no bytes"_s;
    Items items;
    if (context.sent)
        describeSent(context, chunk, items);
    else
        describeReceived(context, chunk, items);
    return items.text();
}

} // namespace kalveno::meaning
