#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kalveno::sendtest {

// The loop-back send test writes the ten digits in ascending order, over and over, PatternLength
// bytes at a time, Passes times; every pass must come back whole and unchanged.
inline constexpr int Passes = 10;
inline constexpr qsizetype PatternLength = 1000;

QByteArray pattern();

} // namespace kalveno::sendtest
