// The serial line settings text a technician types (read as UTF-8): whatever is accepted is a
// complete, valid setting, and writing it out again gives an equivalent text.
#include "check.h"
#include "protocol/serialsettings.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace kalveno;

namespace {

QString formatted(const SerialSettings &s)
{
    static const char16_t parities[] = {u'N', u'E', u'O', u'M', u'S'};
    static const QString stops[] = {u"1"_s, u"1.5"_s, u"2"_s};
    return u"%1,%2,%3,%4"_s.arg(s.baudRate)
        .arg(QChar(parities[s.parity]))
        .arg(s.dataBits)
        .arg(stops[s.stopBits]);
}

QString withoutLeadingZeros(QString digits)
{
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    return digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<SerialSettings> settings = parseSerialSettings(text);
    if (!settings)
        return 0;

    FUZZ_CHECK(std::all_of(text.begin(), text.end(),
                           [](QChar c) { return c.unicode() > u' ' && c.unicode() < 0x7F; }));
    FUZZ_CHECK(settings->baudRate >= 110 && settings->baudRate <= 921600);
    FUZZ_CHECK(settings->dataBits >= 5 && settings->dataBits <= 8);

    const QString written = formatted(*settings);
    FUZZ_CHECK(parseSerialSettings(written) == settings);
    FUZZ_CHECK(parseSerialSettings(written.toLower()) == settings);

    // The text differs from the written form only by the parity letter's case and leading zeros.
    QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4);
    fields[0] = withoutLeadingZeros(fields[0]);
    fields[1] = fields[1].toUpper();
    fields[2] = withoutLeadingZeros(fields[2]);
    FUZZ_CHECK(fields.join(u',') == written);
    return 0;
}
