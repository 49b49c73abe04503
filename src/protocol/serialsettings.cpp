#include "serialsettings.h"

#include <QList>

#include <algorithm>
#include <array>

namespace kalveno {

namespace {

constexpr std::array<qint32, 19> Rates = {110,    300,    600,    1200,   2400,  4800,  9600,
                                          14400,  19200,  28800,  38400,  56000, 57600, 115200,
                                          128000, 230400, 256000, 460800, 921600};

std::optional<qint32> wholeNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    qint32 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

std::optional<SerialSettings> parseSerialSettings(QStringView text)
{
    const QList<QStringView> fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;

    SerialSettings s;
    const auto rate = wholeNumber(fields[0]);
    if (!rate || std::find(Rates.begin(), Rates.end(), *rate) == Rates.end())
        return std::nullopt;
    s.baudRate = *rate;

    // One ASCII letter: case folding would also turn other letters into these (U+017F into S).
    if (fields[1].size() != 1 || fields[1][0].unicode() > 0x7F)
        return std::nullopt;
    switch (fields[1][0].toUpper().unicode()) {
    case u'N':
        s.parity = SerialSettings::None;
        break;
    case u'E':
        s.parity = SerialSettings::Even;
        break;
    case u'O':
        s.parity = SerialSettings::Odd;
        break;
    case u'M':
        s.parity = SerialSettings::Mark;
        break;
    case u'S':
        s.parity = SerialSettings::Space;
        break;
    default:
        return std::nullopt;
    }

    const auto data = wholeNumber(fields[2]);
    if (!data || *data < 5 || *data > 8)
        return std::nullopt;
    s.dataBits = *data;

    if (fields[3] == u"1")
        s.stopBits = SerialSettings::One;
    else if (fields[3] == u"1.5")
        s.stopBits = SerialSettings::OneAndHalf;
    else if (fields[3] == u"2")
        s.stopBits = SerialSettings::Two;
    else
        return std::nullopt;
    return s;
}

} // namespace kalveno
