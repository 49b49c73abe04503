#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace kalveno::bridgeio {

// Every bridge I/O command travels in this frame, on TCP, UDP and the serial line alike. The
// third byte is 8 whatever the payload's length, and the payload is not escaped.
inline constexpr QByteArrayView FrameHead("\xFE\xF8\x08\x02", 4);
inline constexpr char FrameEnd = '\x03';

QByteArray frame(QByteArrayView payload);

// The datagram broadcast each time the TCP link is torn down: FE FF 06 and the address text.
inline constexpr QByteArrayView ReconnectHead("\xFE\xFF\x06", 3);
QByteArray reconnectBroadcast(QByteArrayView addressText);
// The address text of a reconnect broadcast; nothing for any other datagram.
std::optional<QByteArrayView> reconnectAddress(QByteArrayView datagram);

// Payloads of the I/O panel; outputs (1 to 4) and inputs (1, 2) count from 1, and a number out
// of range gives no payload. The codes follow no single rule
// (outputs 1-2 use C0-C4 with OFF = ON + 3, outputs 3-4 use E2-E5 with OFF = ON + 1), and the
// two-second command of output 1 carries "01" where the others carry "02".
QByteArray outputSwitch(int output, bool on);
QByteArray outputTwoSeconds(int output);
QByteArray inputStatusRequest(int input);
QByteArray outputPulse(int output); // "><T<n>T.3"
inline constexpr QByteArrayView BatchOn = "><B,3,.1,.2,.3,.4";
inline constexpr QByteArrayView BatchOff = "><B,0,00,00,00,00";

// Input status bytes that the bridge mixes into its traffic.
inline constexpr unsigned char Input1On = 0xF2;
inline constexpr unsigned char Input1Off = 0xF3;
inline constexpr unsigned char Input2On = 0xF4;
inline constexpr unsigned char Input2Off = 0xF5;

// An output wired to an input, as on a test jig: the input reads on while the output is on.
struct JigWire
{
    int output; // 1 to 4
    int input;  // 1 or 2
    friend bool operator==(const JigWire &, const JigWire &) = default;
};

// "OUT:IN,..." such as "1:1,2:2", each pair at most once; nothing, with the reason in `error`,
// for any other text.
std::optional<QList<JigWire>> parseJig(QStringView text, QString *error);

} // namespace kalveno::bridgeio
