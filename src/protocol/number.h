#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace kalveno {

// The decimal number at the start of a text, as a technician typed it: leading blanks skipped,
// an optional sign, digits, an optional point and more digits; reading stops at the first
// character that cannot continue the number, and a text without one reads as 0. The digits are
// kept as text so that no value is ever wrapped or rounded by a machine type on the way.
class LeadingNumber
{
public:
    static LeadingNumber parse(QStringView text);

    // False when the text does not begin with a number at all (it then reads as 0).
    bool hasDigits() const { return m_hasDigits; }
    bool isNegative() const { return m_negative; }
    bool isZero() const { return m_integer.isEmpty() && m_fraction.isEmpty(); }
    double toDouble() const;

    // The nearest whole number; a value exactly halfway goes to the even neighbour.
    LeadingNumber rounded() const;
    // The rounded value when it fits in [min, max], otherwise nothing.
    std::optional<qint64> roundedIn(qint64 min, qint64 max) const;

    // The rounded value written with at least two digits, zero-padded, a minus sign in front of
    // negative values ("05", "123", "-07").
    QString twoDigitField() const;
    // The console's number-printing form: a blank in place of the plus sign, the shortest
    // decimal form (".5" for one half, as the old console wrote it), one trailing blank.
    QString printed() const;

private:
    bool m_hasDigits = false;
    bool m_negative = false;
    QString m_integer;  // without leading zeros
    QString m_fraction; // without trailing zeros
};

inline QString twoDigitField(QStringView text)
{
    return LeadingNumber::parse(text).twoDigitField();
}

} // namespace kalveno
