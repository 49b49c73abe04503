#include "sendtest.h"

namespace kalveno::sendtest {

QByteArray pattern()
{
    QByteArray digits(PatternLength, Qt::Uninitialized);
    for (qsizetype i = 0; i < digits.size(); ++i)
        digits[i] = char('0' + i % 10);
    return digits;
}

} // namespace kalveno::sendtest
