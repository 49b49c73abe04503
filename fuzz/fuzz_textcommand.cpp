// The bridge's text commands in any bytes the TCP link can carry: where each command that
// begins in them ends, whether more bytes could still change that, and what it says it is. The
// input is used as it is, without a copy, so that a read past its end is caught.
#include "check.h"
#include "protocol/textcommand.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace kalveno::textcommand;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        const QByteArrayView stream = bytes.sliced(at);
        if (!startsCommand(stream))
            continue;
        const qsizetype end = extent(stream);
        const bool acknowledged = stream.startsWith(Acknowledge);
        FUZZ_CHECK(end >= (acknowledged ? 4 : 2) && end <= stream.size());
        // Bytes yet to come change nothing once the ones so far tell.
        const qsizetype told = extent(stream, true);
        FUZZ_CHECK(told == -1 || told == end);
        // A command's own bytes are cut the same way, whatever followed them.
        const QByteArrayView text = stream.first(end);
        FUZZ_CHECK(extent(text) == end);

        const Command command = parse(text);
        FUZZ_CHECK(command.acknowledged == acknowledged);
        FUZZ_CHECK(text.sliced(acknowledged ? 2 : 0).startsWith(command.text));
        FUZZ_CHECK(command.text.size() + (acknowledged ? 2 : 0) + (command.closed ? 1 : 0) == end);
        FUZZ_CHECK(command.isRefused() || command.kind != Kind::Unknown);
        FUZZ_CHECK(command.isRefused() || command.text.size() <= MaxLength);
        const QString meaning = verdict(command);
        FUZZ_CHECK(meaning.startsWith(describe(command)));
        FUZZ_CHECK(meaning.startsWith(u"OK, "_s) == acknowledged);
        // One line of printable ASCII, whatever bytes the command quotes.
        FUZZ_CHECK(std::all_of(meaning.begin(), meaning.end(),
                               [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; }));
        at += end - 1;
    }
    return 0;
}
