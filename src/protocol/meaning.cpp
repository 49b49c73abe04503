#include "meaning.h"

#include "bridgeio.h"
#include "rfid.h"
#include "sendtest.h"
#include "textcommand.h"
#include "ttlstatus.h"
#include "turnstile.h"
#include "wording.h"

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

// Fewer printable bytes than this between other bytes are what binary data holds by chance,
// not text.
constexpr qsizetype MinTextRun = 4;
// The send test writes the ten digits over and over (sendtest.h); the other link receives them
// in pieces of any size.
constexpr qsizetype MinPatternRun = 10;

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

using wording::counted;
using wording::hex;
using wording::isDigit;
using wording::quoted;
using wording::shown;

bool isStatus(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= bridgeio::Input1On && b <= bridgeio::Input2Off;
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
            const QString output = textcommand::outputName(n);
            list.append({bridgeio::outputSwitch(n, true), output + u" on"_s});
            list.append({bridgeio::outputSwitch(n, false), output + u" off"_s});
            list.append({bridgeio::outputTwoSeconds(n), output + u" on for 2 s"_s});
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

// `rest` begins with a turnstile command, which the grammar cuts and tells. Frames are taken
// out of the stream first, as the bridge does: a frame ends a command before it.
qsizetype describeCommand(QByteArrayView rest, qsizetype at, Items &items)
{
    const qsizetype frame = rest.indexOf(bridgeio::FrameHead);
    const qsizetype length = textcommand::extent(frame < 0 ? rest : rest.first(frame));
    items.add(at, [command = rest.first(length)] {
        return textcommand::describe(textcommand::parse(command));
    });
    return length;
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
        const bool command = commands && (c == '>' || c == 'O') && textcommand::startsCommand(rest);
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
        wording::polling(reply.polling.toLatin1()),
        reply.modeKnown ? wording::modeEntry(turnstile::modes().indexOf(reply.modeText))
                        : u"mode %1, not in the list"_s.arg(quoted(reply.modeText.toLatin1())),
        u"time to pass "_s + wording::seconds(reply.timeToPass.toLatin1()),
        u"validation time-out "_s + wording::seconds(reply.validationTimeout.toLatin1()),
        wording::cardsBeforeOffline(reply.cardCount.toLatin1()),
        wording::remoteAntenna(2, reply.remoteAddresses[0].toLatin1()),
        wording::remoteAntenna(3, reply.remoteAddresses[1].toLatin1()),
        wording::remoteAntenna(4, reply.remoteAddresses[2].toLatin1()),
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
