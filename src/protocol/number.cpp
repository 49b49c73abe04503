#include "number.h"

#include <QtGlobal>

namespace kalveno {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Adds one to a string of decimal digits.
QString incremented(QString digits)
{
    qsizetype i = digits.size() - 1;
    while (i >= 0 && digits[i] == u'9') {
        digits[i] = u'0';
        --i;
    }
    if (i < 0)
        digits.prepend(u'1');
    else
        digits[i] = QChar(digits[i].unicode() + 1);
    return digits;
}

} // namespace

LeadingNumber LeadingNumber::parse(QStringView text)
{
    LeadingNumber n;
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        n.m_negative = text[i] == u'-';
        ++i;
    }
    const qsizetype integerStart = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    n.m_integer = text.sliced(integerStart, i - integerStart).toString();
    if (i < text.size() && text[i] == u'.') {
        const qsizetype fractionStart = ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        n.m_fraction = text.sliced(fractionStart, i - fractionStart).toString();
    }
    n.m_hasDigits = !n.m_integer.isEmpty() || !n.m_fraction.isEmpty();
    qsizetype lead = 0;
    while (lead < n.m_integer.size() && n.m_integer[lead] == u'0')
        ++lead;
    n.m_integer.remove(0, lead);
    qsizetype end = n.m_fraction.size();
    while (end > 0 && n.m_fraction[end - 1] == u'0')
        --end;
    n.m_fraction.truncate(end);
    if (n.isZero())
        n.m_negative = false;
    return n;
}

double LeadingNumber::toDouble() const
{
    QString text = m_negative ? QStringLiteral("-") : QString();
    text += m_integer.isEmpty() ? QStringLiteral("0") : m_integer;
    if (!m_fraction.isEmpty())
        text += u'.' + m_fraction;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (ok)
        return value;
    // The conversion fails beyond the range of a double either way: below one (no integer
    // digits) the value is too small and reads as zero, above it too large and keeps its sign.
    if (m_integer.isEmpty())
        return 0.0;
    return m_negative ? -qInf() : qInf();
}

LeadingNumber LeadingNumber::rounded() const
{
    LeadingNumber r;
    r.m_hasDigits = m_hasDigits;
    r.m_negative = m_negative;
    r.m_integer = m_integer;
    if (!m_fraction.isEmpty()) {
        const QChar first = m_fraction[0];
        bool up = first > u'5';
        if (first == u'5') {
            // The fraction carries no trailing zeros, so anything after the 5 is above one half.
            const bool exactHalf = m_fraction.size() == 1;
            const bool odd = !m_integer.isEmpty() && (m_integer.back().unicode() - u'0') % 2 == 1;
            up = !exactHalf || odd;
        }
        if (up)
            r.m_integer = incremented(m_integer);
    }
    if (r.isZero())
        r.m_negative = false;
    return r;
}

std::optional<qint64> LeadingNumber::roundedIn(qint64 min, qint64 max) const
{
    const LeadingNumber r = rounded();
    if (r.m_integer.size() > 18)
        return std::nullopt;
    const qint64 magnitude = r.m_integer.isEmpty() ? 0 : r.m_integer.toLongLong();
    const qint64 value = r.m_negative ? -magnitude : magnitude;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

QString LeadingNumber::twoDigitField() const
{
    const LeadingNumber r = rounded();
    QString digits = r.m_integer;
    while (digits.size() < 2)
        digits.prepend(u'0');
    return r.m_negative ? u'-' + digits : digits;
}

QString LeadingNumber::printed() const
{
    QString text = m_negative ? QStringLiteral("-") : QStringLiteral(" ");
    if (m_fraction.isEmpty())
        text += m_integer.isEmpty() ? QStringLiteral("0") : m_integer;
    else
        text += m_integer + u'.' + m_fraction;
    return text + u' ';
}

} // namespace kalveno
