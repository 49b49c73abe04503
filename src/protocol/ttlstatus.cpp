#include "ttlstatus.h"

#include "bridgeio.h"

namespace kalveno {

TtlStatus takeTtlStatus(QByteArrayView received)
{
    TtlStatus status;
    status.display.reserve(received.size());
    for (const char c : received) {
        switch (static_cast<unsigned char>(c)) {
        case bridgeio::Input1On:
            status.input1On = true;
            break;
        case bridgeio::Input1Off:
            status.input1On = false;
            break;
        case bridgeio::Input2On:
            status.input2On = true;
            break;
        case bridgeio::Input2Off:
            status.input2On = false;
            break;
        default:
            status.display.append(c);
        }
    }
    return status;
}

} // namespace kalveno
