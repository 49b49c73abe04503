// What the traffic record says about any chunk on any link. The first byte of an input picks
// the link and the direction (bits 0-1: TCP, UDP, serial, TCP; bit 2: sent; bit 3: reader
// line), the rest is the chunk. The input is used as it is, without a copy, so that a read past
// its end is caught.
#include "check.h"
#include "protocol/meaning.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

using namespace Qt::StringLiterals;
using namespace kalveno::meaning;

namespace {

qsizetype countOf(QByteArrayView chunk, char byte)
{
    return chunk.count(QByteArrayView(&byte, 1));
}

// Every byte of a serial chunk without frames is told as text, as unrecognised, as the send
// test's pattern or as a status byte, each once.
void checkAccounting(const Context &context, QByteArrayView chunk, const QString &meaning)
{
    static const QRegularExpression counts(u"text, (\\d+) bytes?|(\\d+) unrecognised bytes?|"
                                           "send test pattern, (\\d+) bytes|"
                                           "(send test pattern)(?:;|$)"_s);
    qsizetype told = 0;
    for (auto it = counts.globalMatch(meaning); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (int group = 1; group <= 3; ++group)
            told += match.capturedView(group).toLongLong();
        if (match.hasCaptured(4))
            told += 1000;
    }
    qsizetype status = 0;
    if (!context.sent) {
        const std::pair<char, QStringView> reports[] = {
            {'\xF2', u"input 1 on"},
            {'\xF3', u"input 1 off"},
            {'\xF4', u"input 2 on"},
            {'\xF5', u"input 2 off"},
        };
        for (const auto &[byte, report] : reports) {
            FUZZ_CHECK(meaning.count(report) == countOf(chunk, byte));
            status += countOf(chunk, byte);
        }
    }
    FUZZ_CHECK(told + status == chunk.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Context context{static_cast<kalveno::LinkKind>((data[0] & 3) % 3), (data[0] & 4) != 0,
                          (data[0] & 8) != 0};
    const QByteArrayView chunk(data + 1, qsizetype(size - 1));

    const QString meaning = of(context, chunk);
    FUZZ_CHECK(meaning == of(context, chunk));
    FUZZ_CHECK(!meaning.isEmpty() && meaning.size() <= MaxLength);
    FUZZ_CHECK((meaning == u"no bytes") == chunk.isEmpty());
    // One line of printable ASCII, whatever bytes the chunk quotes.
    FUZZ_CHECK(std::all_of(meaning.begin(), meaning.end(),
                           [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; }));

    if (context.link == kalveno::LinkKind::Serial && !context.readerLine &&
        !chunk.contains('\xFE') && !meaning.endsWith(u" more"))
        checkAccounting(context, chunk, meaning);
    return 0;
}
