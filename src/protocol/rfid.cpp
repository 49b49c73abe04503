#include "rfid.h"

using namespace Qt::StringLiterals;

namespace kalveno::rfid {

namespace {

constexpr QByteArrayView AntennaSelectedBody("\x04\x00\x00", 3);
constexpr QByteArrayView NoCardBody("\x04\x00\x0E", 3);
constexpr QByteArrayView CardHead("\x0D\x00\x00\x00", 4);
constexpr qsizetype CardReplyLength = 14;

} // namespace

quint16 crc16(QByteArrayView bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray withCrc(QByteArrayView body)
{
    const quint16 crc = crc16(body);
    QByteArray frame = body.toByteArray();
    frame.append(char(crc & 0xFF)).append(char(crc >> 8));
    return frame;
}

bool hasValidCrc(QByteArrayView frame)
{
    if (frame.size() < 3)
        return false;
    const quint16 crc = crc16(frame.first(frame.size() - 2));
    return static_cast<unsigned char>(frame[frame.size() - 2]) == (crc & 0xFF) &&
           static_cast<unsigned char>(frame[frame.size() - 1]) == (crc >> 8);
}

QByteArray antennaSelectedReply()
{
    return withCrc(AntennaSelectedBody);
}

QByteArray noCardReply()
{
    return withCrc(NoCardBody);
}

QByteArray cardReply(quint64 card)
{
    QByteArray body = CardHead.toByteArray();
    for (int i = 0; i < 8; ++i)
        body.append(char((card >> (8 * i)) & 0xFF));
    return withCrc(body);
}

QByteArray antennaSelectRequest(unsigned char mask)
{
    return withCrc(QByteArray("\x06\x00\x01\x00", 4) + char(mask));
}

QByteArray cardQueryRequest()
{
    return withCrc(QByteArrayView("\x05\x00\x01\x00", 4));
}

qsizetype announcedLength(QByteArrayView received)
{
    return received.isEmpty() ? 0 : static_cast<unsigned char>(received[0]) + 1;
}

Request classify(QByteArrayView received)
{
    if (received.isEmpty())
        return {};
    const auto first = static_cast<unsigned char>(received[0]);
    if (first == 0x06 && received.size() >= 5) {
        switch (static_cast<unsigned char>(received[4])) {
        case 0x01:
            return {Request::AntennaSelect, 1};
        case 0x02:
            return {Request::AntennaSelect, 2};
        case 0x04:
            return {Request::AntennaSelect, 3};
        case 0x08:
            return {Request::AntennaSelect, 4};
        default:
            return {};
        }
    }
    if (first == 0x05)
        return {Request::CardQuery, 0};
    return {};
}

Reply readReply(QByteArrayView reply)
{
    if (reply.startsWith(AntennaSelectedBody))
        return {Reply::AntennaSelected};
    if (reply.startsWith(NoCardBody))
        return {Reply::NoCard};
    // The identifier comes least significant byte first.
    if (reply.startsWith(CardHead) && reply.size() >= CardHead.size() + 8) {
        quint64 card = 0;
        for (int i = 0; i < 8; ++i)
            card |= quint64(static_cast<unsigned char>(reply[CardHead.size() + i])) << (8 * i);
        return {Reply::Card, card};
    }
    return {};
}

bool parseCardReply(QByteArrayView reply, quint64 *card)
{
    const Reply read = readReply(reply);
    if (reply.size() != CardReplyLength || read.kind != Reply::Card || !hasValidCrc(reply))
        return false;
    *card = read.card;
    return true;
}

QString cardText(quint64 card)
{
    return u"%1"_s.arg(card, 16, 16, QChar(u'0')).toUpper();
}

} // namespace kalveno::rfid
