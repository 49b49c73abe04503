#include "ttlstatus.h"

#include "bridgeio.h"

#include <algorithm>

namespace kalveno {

namespace {

bool isStatusByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= bridgeio::Input1On && b <= bridgeio::Input2Off;
}

} // namespace

TtlStatus takeTtlStatus(const QByteArray &received)
{
    // Status bytes are rare in a flood of data: the text is shared as it is when it holds none,
    // and otherwise copied run by run between them.
    TtlStatus status;
    const char *const begin = received.constData();
    const char *const end = begin + received.size();
    const char *run = std::find_if(begin, end, isStatusByte);
    if (run == end) {
        status.display = received;
        return status;
    }
    status.display.reserve(received.size());
    status.display.append(begin, run - begin);
    while (run != end) {
        switch (static_cast<unsigned char>(*run)) {
        case bridgeio::Input1On:
            status.input1On = true;
            break;
        case bridgeio::Input1Off:
            status.input1On = false;
            break;
        case bridgeio::Input2On:
            status.input2On = true;
            break;
        default:
            status.input2On = false;
            break;
        }
        const char *next = std::find_if(run + 1, end, isStatusByte);
        status.display.append(run + 1, next - run - 1);
        run = next;
    }
    return status;
}

} // namespace kalveno
