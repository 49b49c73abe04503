#include "wording.h"

#include "turnstile.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno::wording {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(QByteArrayView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isDigit);
}

QString counted(qsizetype n, QStringView one, QStringView many)
{
    return u"%1 %2"_s.arg(n).arg(n == 1 ? one : many);
}

QString shown(QByteArrayView bytes)
{
    QString s;
    for (const char c : bytes.first(qMin(bytes.size(), MaxValue))) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F)
            s += QLatin1Char(c);
        else
            s += u"\\x%1"_s.arg(uint(b), 2, 16, QChar(u'0'));
    }
    if (bytes.size() > MaxValue)
        s += u"..."_s;
    return s;
}

QString quoted(QByteArrayView bytes)
{
    return bytes.isEmpty() ? u"empty"_s : u'"' + shown(bytes) + u'"';
}

QString hex(QByteArrayView bytes, qsizetype most)
{
    QString s = QString::fromLatin1(bytes.first(qMin(bytes.size(), most)).toByteArray().toHex(' '));
    if (bytes.size() > most)
        s += u" ... (%1 bytes)"_s.arg(bytes.size());
    return s;
}

QString number(QByteArrayView digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits[i] == '0' && isDigit(digits[i + 1]))
        ++i;
    return shown(digits.sliced(i));
}

QString seconds(QByteArrayView value)
{
    return allDigits(value) ? number(value) + u" s"_s : quoted(value);
}

QString howMany(QByteArrayView digits, QStringView one, QStringView many)
{
    const QString n = number(digits);
    return n + u' ' + (n == u"1" ? one : many).toString();
}

QString cardsBeforeOffline(QByteArrayView value)
{
    return allDigits(value) ? howMany(value, u"card before offline", u"cards before offline")
                            : u"cards before offline "_s + quoted(value);
}

QString remoteAntenna(int antenna, QByteArrayView address)
{
    return address.isEmpty() ? u"remote antenna %1 without an address"_s.arg(antenna)
                             : u"remote antenna %1 at %2"_s.arg(antenna).arg(shown(address));
}

QString polling(QByteArrayView value)
{
    if (value.isEmpty())
        return u"polling empty"_s;
    const QStringList &choices = turnstile::pollingChoices();
    const int index = value[0] - '0';
    // The choices read "0- Polling OFF": the digit and "- " go, the caption stays.
    if (value.size() == 1 && index >= 0 && index < choices.size())
        return choices.at(index).sliced(3).toLower();
    return u"polling %1, not a choice"_s.arg(quoted(value));
}

QString modeEntry(qsizetype index)
{
    return u"mode "_s + QString(turnstile::modes().at(index))
                            .remove(u": "_s + turnstile::TestPattern.toString());
}

} // namespace kalveno::wording
