// Input status decoding: the bytes F2 to F5 that the bridge mixes into its traffic are taken out
// and reported as the two inputs' states; every other byte is shown, in order.
#include "check.h"
#include "protocol/bridgeio.h"
#include "protocol/ttlstatus.h"

#include <cstddef>
#include <cstdint>

using namespace kalveno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView received(data, qsizetype(size));
    const TtlStatus status = takeTtlStatus(received.toByteArray());

    QByteArray shown;
    std::optional<bool> input1;
    std::optional<bool> input2;
    for (const std::uint8_t b : received) {
        if (b == bridgeio::Input1On || b == bridgeio::Input1Off)
            input1 = b == bridgeio::Input1On;
        else if (b == bridgeio::Input2On || b == bridgeio::Input2Off)
            input2 = b == bridgeio::Input2On;
        else
            shown.append(char(b));
    }
    FUZZ_CHECK(status.display == shown);
    FUZZ_CHECK(status.input1On == input1);
    FUZZ_CHECK(status.input2On == input2);

    // What is shown carries no status byte any more, so decoding it again changes nothing.
    const TtlStatus again = takeTtlStatus(status.display);
    FUZZ_CHECK(again.display == status.display);
    FUZZ_CHECK(!again.input1On && !again.input2On);
    return 0;
}
