#include "iofirmware.h"

#include "outputs.h"

#include "protocol/bridgeio.h"
#include "protocol/textcommand.h"

using namespace Qt::StringLiterals;
namespace bridgeio = kalveno::bridgeio;

namespace kalveno::sim {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

QString statusMeaning(QByteArrayView statusByte)
{
    const int offset = statusByte.size() == 1 ? uchar(statusByte[0]) - bridgeio::Input1On : -1;
    if (offset < 0 || offset > 3)
        return {};
    return u"input %1 status: %2"_s.arg(offset / 2 + 1).arg(offset % 2 ? u"off"_s : u"on"_s);
}

IoFirmware::IoFirmware(Outputs *outputs)
    : m_outputs(outputs)
{}

QByteArray IoFirmware::statusByte(int input) const
{
    const bool on = this->input(input);
    const unsigned char code = input == 1 ? (on ? bridgeio::Input1On : bridgeio::Input1Off)
                                          : (on ? bridgeio::Input2On : bridgeio::Input2Off);
    return QByteArray(1, char(code));
}

IoFirmware::Outcome IoFirmware::handle(QByteArrayView payload)
{
    for (int input = 1; input <= 2; ++input) {
        if (payload == bridgeio::inputStatusRequest(input)) {
            const QByteArray reply = statusByte(input);
            return {reply, u"input %1 status request, answered %2 (%3)"_s.arg(input).arg(
                               QString::fromLatin1(reply.toHex().toUpper()),
                               this->input(input) ? u"on"_s : u"off"_s)};
        }
    }
    for (int output = 1; output <= 4; ++output) {
        for (const bool on : {true, false}) {
            if (payload == bridgeio::outputSwitch(output, on)) {
                m_outputs->set(output, on);
                return {{}, textcommand::outputName(output) + (on ? u" on"_s : u" off"_s)};
            }
        }
        // The console sends "01" for output 1 and "02" for the others; any two digits will do.
        if (payload.size() == 3 && payload[0] == bridgeio::outputTwoSeconds(output)[0] &&
            isDigit(payload[1]) && isDigit(payload[2])) {
            m_outputs->pulse(output, TwoSecondsMs);
            return {{},
                    textcommand::outputName(output) +
                        u" on for %1 ms (digits %2)"_s.arg(TwoSecondsMs)
                            .arg(QString::fromLatin1(payload.sliced(1)))};
        }
    }
    if (payload.startsWith(textcommand::Start)) {
        using textcommand::Kind;
        const textcommand::Command command = textcommand::parse(payload);
        if (command.isRefused())
            return {{}, textcommand::verdict(command)};
        if ((command.kind == Kind::Output && command.output <= 4) || command.kind == Kind::Batch) {
            m_outputs->execute(command);
            return {{}, textcommand::describe(command)};
        }
        return {{}, textcommand::describe(command) + u"; refused: not an I/O command"_s};
    }
    return {{}, u"refused: unknown I/O command"_s};
}

} // namespace kalveno::sim
