// Frames from the RFID reader's serial line: request classification, the CRC and card replies.
// The input is used as it is, without a copy, so that a read past its end is caught.
#include "check.h"
#include "protocol/rfid.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace kalveno::rfid;

namespace {

quint8 byteAt(QByteArrayView bytes, qsizetype i)
{
    return static_cast<quint8>(bytes[i]);
}

void checkClassify(QByteArrayView received)
{
    const Request request = classify(received);
    switch (request.kind) {
    case Request::AntennaSelect:
        FUZZ_CHECK(received.size() >= 5 && byteAt(received, 0) == 0x06);
        FUZZ_CHECK(request.antenna >= 1 && request.antenna <= 4);
        FUZZ_CHECK(byteAt(received, 4) == 1u << (request.antenna - 1));
        break;
    case Request::CardQuery:
        FUZZ_CHECK(byteAt(received, 0) == 0x05);
        break;
    case Request::Other:
        FUZZ_CHECK(request.antenna == 0);
        break;
    }
    // Only the first five bytes of a frame decide; whatever follows them changes nothing.
    const Request head = classify(received.first(std::min<qsizetype>(received.size(), 5)));
    FUZZ_CHECK(head.kind == request.kind && head.antenna == request.antenna);
}

void checkCrc(QByteArrayView bytes)
{
    if (bytes.size() >= 3)
        FUZZ_CHECK(hasValidCrc(bytes) == (withCrc(bytes.chopped(2)) == bytes));

    // Without a final inversion, the CRC over a frame that ends in its own CRC is zero; a CRC that
    // mishandles bytes from 0x80 up breaks this for about half the frames.
    const QByteArray frame = withCrc(bytes);
    FUZZ_CHECK(crc16(frame) == 0);
    FUZZ_CHECK(hasValidCrc(frame) == !bytes.isEmpty());
    if (bytes.isEmpty())
        return;

    // A CRC-16 catches every error confined to 16 bits in a row, so any one changed byte.
    const qsizetype step = std::max<qsizetype>(1, frame.size() / 8);
    for (qsizetype i = 0; i < frame.size(); i += step) {
        QByteArray damaged = frame;
        damaged[i] = char(damaged[i] ^ (byteAt(bytes, i % bytes.size()) | 0x01));
        FUZZ_CHECK(!hasValidCrc(damaged));
    }
}

void checkCardReply(QByteArrayView reply)
{
    quint64 card = 0x5A5A5A5A5A5A5A5AULL;
    if (!parseCardReply(reply, &card)) {
        FUZZ_CHECK(card == 0x5A5A5A5A5A5A5A5AULL);
        return;
    }
    FUZZ_CHECK(reply.size() == 14 && reply.startsWith(QByteArrayView("\x0D\x00\x00\x00", 4)) &&
               hasValidCrc(reply));
    for (int i = 0; i < 8; ++i)
        FUZZ_CHECK(quint8(card >> (8 * i)) == byteAt(reply, 4 + i));
    FUZZ_CHECK(readReply(reply).kind == Reply::Card && readReply(reply).card == card);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView received(data, qsizetype(size));

    const qsizetype length = announcedLength(received);
    FUZZ_CHECK(received.isEmpty() ? length == 0 : length == byteAt(received, 0) + 1);

    checkClassify(received);
    checkCrc(received);
    checkCardReply(received);

    // A card reply built by the simulator reads back as the same card.
    quint64 card = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(received.size(), 8); ++i)
        card |= quint64(byteAt(received, i)) << (8 * i);
    quint64 read = ~card;
    FUZZ_CHECK(parseCardReply(cardReply(card), &read) && read == card);
    return 0;
}
