#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace kalveno::wording {

// How the traffic decoder words what it finds, shared by the meanings of chunks and of the
// turnstile's commands: short lower-case English that never grows with the bytes quoted.

// A device value is quoted with at most MaxValue bytes and a payload with at most MaxHexBytes.
inline constexpr qsizetype MaxValue = 24;
inline constexpr qsizetype MaxHexBytes = 16;

bool isDigit(char c);
bool allDigits(QByteArrayView s); // and not empty

// "1 byte", "3 bytes"
QString counted(qsizetype n, QStringView one, QStringView many);
// A device value on one line: printable ASCII as it is, any other byte as \xNN, cut when long.
QString shown(QByteArrayView bytes);
// shown() in double quotes, or "empty".
QString quoted(QByteArrayView bytes);
// Hex pairs of at most `most` bytes, then the whole count when there are more.
QString hex(QByteArrayView bytes, qsizetype most = MaxHexBytes);
// Digits without the zeros that two-digit fields add: "05" is 5, "00" is 0, ".3" stays .3.
QString number(QByteArrayView digits);
// "5 s" for digits, else the value quoted.
QString seconds(QByteArrayView value);
// Whole numbers of persons or cards, with the noun in the right number.
QString howMany(QByteArrayView digits, QStringView one, QStringView many);
QString cardsBeforeOffline(QByteArrayView value);
QString remoteAntenna(int antenna, QByteArrayView address);
// The polling choice a digit names, as the choice's caption in lower case.
QString polling(QByteArrayView value);
// "mode 4 - Free tst": the mode list's entry without its test pattern.
QString modeEntry(qsizetype index);

} // namespace kalveno::wording
