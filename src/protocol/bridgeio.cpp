#include "bridgeio.h"

using namespace Qt::StringLiterals;

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
    return ReconnectHead.toByteArray().append(addressText);
}

std::optional<QByteArrayView> reconnectAddress(QByteArrayView datagram)
{
    if (!datagram.startsWith(ReconnectHead))
        return std::nullopt;
    return datagram.sliced(ReconnectHead.size());
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

std::optional<QList<JigWire>> parseJig(QStringView text, QString *error)
{
    QList<JigWire> wires;
    for (const QStringView pair : text.split(u',')) {
        const qsizetype colon = pair.indexOf(u':');
        bool outputOk = false;
        bool inputOk = false;
        const int output = colon < 0 ? 0 : pair.first(colon).toInt(&outputOk);
        const int input = colon < 0 ? 0 : pair.sliced(colon + 1).toInt(&inputOk);
        if (!outputOk || !inputOk || output < 1 || output > 4 || input < 1 || input > 2) {
            *error =
                u"\"%1\" is not OUT:IN with an output from 1 to 4 and an input 1 or 2"_s.arg(pair);
            return std::nullopt;
        }
        const JigWire wire{output, input};
        if (wires.contains(wire)) {
            *error = u"%1:%2 is given twice"_s.arg(output).arg(input);
            return std::nullopt;
        }
        wires.append(wire);
    }
    return wires;
}

} // namespace kalveno::bridgeio
