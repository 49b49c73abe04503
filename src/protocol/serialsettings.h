#pragma once

#include <QStringView>

#include <optional>

namespace kalveno {

// A serial line settings text "baud,parity,data,stop", as in "9600,N,8,1".
struct SerialSettings
{
    enum Parity { None, Even, Odd, Mark, Space };
    enum StopBits { One, OneAndHalf, Two };

    qint32 baudRate = 9600;
    Parity parity = None;
    int dataBits = 8;
    StopBits stopBits = One;

    friend bool operator==(const SerialSettings &, const SerialSettings &) = default;
};

// Accepts the usual rates from 110 to 921600 baud, parity N, E, O, M or S (either case), 5 to 8
// data bits and 1, 1.5 or 2 stop bits, with no blanks; anything else is rejected, so that a text
// still being typed is refused until it is complete.
std::optional<SerialSettings> parseSerialSettings(QStringView text);

} // namespace kalveno
