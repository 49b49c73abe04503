#include "bridgeio.h"

namespace kalveno::bridgeio {

namespace {

struct OutputCodes
{
    unsigned char on, off, twoSecondsLead;
    const char *twoSecondsDigits;
};

constexpr OutputCodes Outputs[4] = {
    {0xC1, 0xC4, 0xDC, "01"},
    {0xC0, 0xC3, 0xDD, "02"},
    {0xE2, 0xE3, 0xDE, "02"},
    {0xE4, 0xE5, 0xDF, "02"},
};

const OutputCodes *codes(int output)
{
    return output >= 1 && output <= 4 ? &Outputs[output - 1] : nullptr;
}

} // namespace

QByteArray frame(QByteArrayView payload)
{
    QByteArray bytes;
    bytes.reserve(payload.size() + FrameHead.size() + 1);
    bytes.append(FrameHead).append(payload).append(FrameEnd);
    return bytes;
}

QByteArray reconnectBroadcast(QByteArrayView addressText)
{
    return QByteArray("\xFE\xFF\x06", 3).append(addressText);
}

QByteArray outputSwitch(int output, bool on)
{
    const OutputCodes *c = codes(output);
    return c ? QByteArray(1, char(on ? c->on : c->off)) : QByteArray();
}

QByteArray outputTwoSeconds(int output)
{
    const OutputCodes *c = codes(output);
    return c ? QByteArray(1, char(c->twoSecondsLead)) + c->twoSecondsDigits : QByteArray();
}

QByteArray inputStatusRequest(int input)
{
    // The same lead bytes as the two-second commands of outputs 3 and 4, sent alone.
    if (input != 1 && input != 2)
        return {};
    return QByteArray(1, char(input == 1 ? 0xDE : 0xDF));
}

QByteArray outputPulse(int output)
{
    return codes(output) ? "><T" + QByteArray::number(output) + "T.3" : QByteArray();
}

} // namespace kalveno::bridgeio
