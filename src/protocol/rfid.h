#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace kalveno::rfid {

// The reader protocol on the turnstile's serial line. A frame's first byte counts the bytes
// that follow it; replies end with a CRC-16/MCRF4XX (reflected polynomial 0x8408, initial
// value 0xFFFF, no final inversion) over everything before it, low byte first.
quint16 crc16(QByteArrayView bytes);
QByteArray withCrc(QByteArrayView body);
bool hasValidCrc(QByteArrayView frame);

// The card that the console's reader simulator holds.
inline constexpr quint64 SimulatedCard = 0xE0040150A3C61B7DULL;

QByteArray antennaSelectedReply(); // 04 00 00 52 5A
QByteArray noCardReply();          // 04 00 0E 2C B3
// 0D 00 00 00, the identifier least significant byte first, the CRC.
QByteArray cardReply(quint64 card = SimulatedCard);

// Requests as the reader's master sends them. Only the length byte, the command byte 0x06 or
// 0x05 and the antenna mask (fifth byte) are looked at by the reader; the rest is filler here.
QByteArray antennaSelectRequest(unsigned char mask);
QByteArray cardQueryRequest();

// The length a frame announces by its first byte; 0 for no bytes at all.
qsizetype announcedLength(QByteArrayView received);

struct Request
{
    enum Kind { Other, AntennaSelect, CardQuery };
    Kind kind = Other;
    int antenna = 0; // 1 to 4 for an antenna select
};

// Classifies the first frame of a received text. An antenna select needs a single-bit mask
// (0x01, 0x02, 0x04, 0x08 for antennas 1 to 4); a card query is recognised by its first byte.
Request classify(QByteArrayView received);

struct Reply
{
    enum Kind { Other, AntennaSelected, NoCard, Card };
    Kind kind = Other;
    quint64 card = 0; // for a card reply
};

// What one reply is by its first bytes, whatever its length and CRC (hasValidCrc() tells).
Reply readReply(QByteArrayView reply);

// A reply's card identifier, when the reply is a whole card reply with a valid CRC.
bool parseCardReply(QByteArrayView reply, quint64 *card);

// 16 upper-case hex digits, most significant first, as the card boxes show it.
QString cardText(quint64 card);

} // namespace kalveno::rfid
