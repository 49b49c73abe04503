// The leading-number rule on any text a technician can type (read as UTF-8), against a regular
// expression for the number's shape and the C library's strtod for its value.
#include "check.h"
#include "protocol/number.h"

#include <QRegularExpression>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

using namespace Qt::StringLiterals;
using kalveno::LeadingNumber;

namespace {

constexpr qint64 Min = std::numeric_limits<qint64>::min();
constexpr qint64 Max = std::numeric_limits<qint64>::max();

struct Shape
{
    bool minus = false;
    QString integer;
    QString fraction;
};

Shape shapeOf(const QString &text)
{
    static const QRegularExpression number(u"^[ \\t\\r\\n]*([-+]?)([0-9]*)(?:\\.([0-9]*))?"_s);
    const QRegularExpressionMatch m = number.match(text);
    return {m.captured(1) == u"-", m.captured(2), m.captured(3)};
}

double strtodOf(const Shape &shape)
{
    const QByteArray text = (shape.minus ? "-" : "") +
                            (shape.integer.isEmpty() ? "0" : shape.integer.toLatin1()) + "." +
                            (shape.fraction.isEmpty() ? "0" : shape.fraction.toLatin1());
    return std::strtod(text.constData(), nullptr);
}

// Both readings round correctly; one unit in the last place is left for very long digit runs.
bool sameDouble(double value, double expected)
{
    if (value == expected)
        return true;
    return std::isfinite(expected) && (value == std::nextafter(expected, value));
}

qsizetype significantDigits(const Shape &shape)
{
    QString integer = shape.integer;
    while (integer.startsWith(u'0'))
        integer.remove(0, 1);
    QString fraction = shape.fraction;
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (integer.isEmpty()) {
        while (fraction.startsWith(u'0'))
            fraction.remove(0, 1);
    }
    return integer.size() + fraction.size();
}

void checkField(const LeadingNumber &n)
{
    static const QRegularExpression field(u"^-?[0-9]{2,}$"_s);
    const QString text = n.twoDigitField();
    FUZZ_CHECK(field.match(text).hasMatch());
    const QString digits = text.startsWith(u'-') ? text.sliced(1) : text;
    FUZZ_CHECK(digits.size() == 2 || !digits.startsWith(u'0'));
    FUZZ_CHECK(!text.startsWith(u'-') || digits != u"00");

    // A whole number rounds to itself.
    FUZZ_CHECK(LeadingNumber::parse(text).twoDigitField() == text);

    const std::optional<qint64> value = n.roundedIn(Min + 1, Max);
    FUZZ_CHECK(value.has_value() == (digits.size() <= 18));
    if (value) {
        FUZZ_CHECK(*value == text.toLongLong());
        FUZZ_CHECK(n.roundedIn(*value, *value) == value);
        FUZZ_CHECK(!n.roundedIn(*value + 1, Max));
    }
}

void checkRounded(const LeadingNumber &n)
{
    const LeadingNumber r = n.rounded();
    FUZZ_CHECK(r.hasDigits() == n.hasDigits());
    FUZZ_CHECK(!r.printed().contains(u'.'));
    FUZZ_CHECK(r.twoDigitField() == n.twoDigitField());
    FUZZ_CHECK(r.rounded().printed() == r.printed());
    // Never more than one half away, give or take the doubles' own spacing.
    const double value = n.toDouble();
    if (std::abs(value) < 1e15)
        FUZZ_CHECK(std::abs(r.toDouble() - value) <= 0.5 + std::abs(value) * 0x1p-52);
}

void checkPrinted(const LeadingNumber &n)
{
    static const QRegularExpression form(
        u"^[ -](0|[1-9][0-9]*|[1-9][0-9]*\\.[0-9]*[1-9]|\\.[0-9]*[1-9]) $"_s);
    const QString printed = n.printed();
    FUZZ_CHECK(form.match(printed).hasMatch());
    FUZZ_CHECK(printed.startsWith(u'-') == n.isNegative());
    FUZZ_CHECK(printed != u"-0 ");

    const LeadingNumber back = LeadingNumber::parse(printed);
    FUZZ_CHECK(back.printed() == printed);
    FUZZ_CHECK(back.twoDigitField() == n.twoDigitField());
    FUZZ_CHECK(back.toDouble() == n.toDouble());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const LeadingNumber n = LeadingNumber::parse(text);
    const Shape shape = shapeOf(text);

    FUZZ_CHECK(n.hasDigits() == !(shape.integer + shape.fraction).isEmpty());
    const bool zero = !(shape.integer + shape.fraction).contains(QRegularExpression(u"[1-9]"_s));
    FUZZ_CHECK(n.isZero() == zero);
    FUZZ_CHECK(n.isNegative() == (shape.minus && !zero));

    const double expected = strtodOf(shape);
    FUZZ_CHECK(sameDouble(n.toDouble(), expected));

    // Up to 15 significant digits a double holds the number closely enough to round it.
    if (significantDigits(shape) <= 15)
        FUZZ_CHECK(n.roundedIn(Min, Max) == qint64(std::nearbyint(expected)));

    checkRounded(n);
    checkField(n);
    checkPrinted(n);
    return 0;
}
