#include "logline.h"

#include <array>
#include <cstring>
#include <limits>

namespace kalveno::logline {

namespace {

constexpr char Digits[] = "0123456789abcdef";
constexpr qsizetype TimeSize = 29; // 2026-12-07T14:03:09.512+01:00
constexpr char NoTime[] = "0000-00-00T00:00:00.000+00:00";

// Each byte as its two hex digits and a space, read four bytes at a time.
constexpr std::array<char, 256 * 4> HexPairs = [] {
    std::array<char, 256 * 4> table{};
    for (int b = 0; b < 256; ++b) {
        table[4 * b] = Digits[b >> 4];
        table[4 * b + 1] = Digits[b & 15];
        table[4 * b + 2] = ' ';
    }
    return table;
}();

// The value of a lower-case hex digit, or -1.
constexpr std::array<signed char, 256> HexValue = [] {
    std::array<signed char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = -1;
    for (int v = 0; v < 16; ++v)
        table[static_cast<unsigned char>(Digits[v])] = static_cast<signed char>(v);
    return table;
}();

constexpr bool isControl(char32_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

// How a text field is written: the meaning escapes control characters and the backslash, the
// link turns control characters into spaces.
enum class Field { Meaning, Link };

// The next code point of `text` from `i`, advancing `i`; a lone surrogate reads as U+FFFD.
char32_t nextCodePoint(QStringView text, qsizetype &i)
{
    const char16_t u = text[i++].unicode();
    if (!QChar::isSurrogate(u))
        return u;
    if (QChar::isHighSurrogate(u) && i < text.size() && QChar::isLowSurrogate(text[i].unicode()))
        return QChar::surrogateToUcs4(u, text[i++].unicode());
    return 0xFFFD;
}

qsizetype writtenSize(QStringView text, Field field)
{
    qsizetype size = 0;
    for (qsizetype i = 0; i < text.size();) {
        const char32_t u = nextCodePoint(text, i);
        if (field == Field::Meaning && (u == '\\' || u == '\t' || u == '\r' || u == '\n'))
            size += 2;
        else if (isControl(u))
            size += field == Field::Meaning ? 4 : 1;
        else
            size += u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    }
    return size;
}

char *writeText(QStringView text, Field field, char *out)
{
    for (qsizetype i = 0; i < text.size();) {
        const char32_t u = nextCodePoint(text, i);
        if (u < 0x80 && !isControl(u) && u != '\\') {
            *out++ = char(u);
        } else if (field == Field::Link && isControl(u)) {
            *out++ = ' ';
        } else if (field == Field::Meaning && (u == '\\' || u == '\t' || u == '\r' || u == '\n')) {
            *out++ = '\\';
            *out++ = u == '\\' ? '\\' : u == '\t' ? 't' : u == '\r' ? 'r' : 'n';
        } else if (isControl(u)) {
            *out++ = '\\';
            *out++ = 'x';
            *out++ = Digits[u >> 4];
            *out++ = Digits[u & 15];
        } else if (u < 0x80) {
            *out++ = char(u); // a backslash in the link
        } else if (u < 0x800) {
            *out++ = char(0xC0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *out++ = char(0xE0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else {
            *out++ = char(0xF0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3F));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

char *writeNumber(char *out, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

char *writeTime(const QDateTime &time, char *out)
{
    const QDate date = time.isValid() ? time.date() : QDate();
    if (!date.isValid() || date.year() < 1 || date.year() > 9999) {
        std::memcpy(out, NoTime, TimeSize);
        return out + TimeSize;
    }
    const QTime clock = time.time();
    const int offsetMinutes = time.offsetFromUtc() / 60;
    out = writeNumber(out, date.year(), 4);
    *out++ = '-';
    out = writeNumber(out, date.month(), 2);
    *out++ = '-';
    out = writeNumber(out, date.day(), 2);
    *out++ = 'T';
    out = writeNumber(out, clock.hour(), 2);
    *out++ = ':';
    out = writeNumber(out, clock.minute(), 2);
    *out++ = ':';
    out = writeNumber(out, clock.second(), 2);
    *out++ = '.';
    out = writeNumber(out, clock.msec(), 3);
    *out++ = offsetMinutes < 0 ? '-' : '+';
    out = writeNumber(out, qAbs(offsetMinutes) / 60, 2);
    *out++ = ':';
    return writeNumber(out, qAbs(offsetMinutes) % 60, 2);
}

// The number that `digits` spells, or -1; at most ten digits, no leading zero.
qint64 readCount(QByteArrayView digits)
{
    if (digits.isEmpty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    qint64 value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// `digits` of `text` from `at` as a number, or -1.
int readNumber(QByteArrayView text, qsizetype at, int digits)
{
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<QDateTime> readTime(QByteArrayView t)
{
    if (t.size() != TimeSize || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
        t[16] != ':' || t[19] != '.' || (t[23] != '+' && t[23] != '-') || t[26] != ':')
        return std::nullopt;
    const int year = readNumber(t, 0, 4);
    const int month = readNumber(t, 5, 2);
    const int day = readNumber(t, 8, 2);
    const int hour = readNumber(t, 11, 2);
    const int minute = readNumber(t, 14, 2);
    const int second = readNumber(t, 17, 2);
    const int msec = readNumber(t, 20, 3);
    const int offsetHours = readNumber(t, 24, 2);
    const int offsetMinutes = readNumber(t, 27, 2);
    const QDate date(year, month, day);
    const QTime clock(hour, minute, second, msec);
    if (year < 1 || !date.isValid() || hour < 0 || !clock.isValid() || offsetHours < 0 ||
        offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59)
        return std::nullopt;
    const int offset = (offsetHours * 60 + offsetMinutes) * 60;
    if (t[23] == '-' && offset == 0) // format() writes +00:00
        return std::nullopt;
    QDateTime time(date, clock, Qt::OffsetFromUTC, t[23] == '-' ? -offset : offset);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<QByteArray> readHex(QByteArrayView hex, qint64 count)
{
    if (count == 0)
        return hex.isEmpty() ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    if (hex.size() != 3 * count - 1)
        return std::nullopt;
    QByteArray bytes(count, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(hex.data());
    for (qsizetype i = 0; i < count; ++i, in += 3) {
        const int high = HexValue[in[0]];
        const int low = HexValue[in[1]];
        if (high < 0 || low < 0 || (i + 1 < count && in[2] != ' '))
            return std::nullopt;
        bytes[i] = char(high << 4 | low);
    }
    return bytes;
}

std::optional<QString> readMeaning(QByteArrayView text)
{
    QByteArray utf8;
    utf8.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
        if (c != '\\') {
            utf8 += char(c);
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            utf8 += '\\';
            break;
        case 't':
            utf8 += '\t';
            break;
        case 'r':
            utf8 += '\r';
            break;
        case 'n':
            utf8 += '\n';
            break;
        case 'x': {
            const int high = i + 2 < text.size() ? HexValue[uchar(text[i + 1])] : -1;
            const int low = i + 2 < text.size() ? HexValue[uchar(text[i + 2])] : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            const int u = high << 4 | low;
            if (u < 0x80) {
                utf8 += char(u);
            } else {
                utf8 += char(0xC0 | (u >> 6));
                utf8 += char(0x80 | (u & 0x3F));
            }
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return QString::fromUtf8(utf8);
}

} // namespace

QDateTime now()
{
    static constexpr qint64 QuarterHourMs = 15 * 60 * 1000;
    thread_local qint64 knownQuarter = std::numeric_limits<qint64>::min();
    thread_local int offset = 0;
    const qint64 msecs = QDateTime::currentMSecsSinceEpoch();
    const qint64 quarter = msecs / QuarterHourMs;
    if (quarter != knownQuarter) {
        offset = QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc();
        knownQuarter = quarter;
    }
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, offset);
}

QByteArray format(const Line &line)
{
    const QByteArrayView direction = directionWord(line.direction);
    const qsizetype count = line.bytes.size();
    char countText[24];
    char *countEnd = countText + sizeof countText;
    char *countBegin = countEnd;
    for (qsizetype n = count; countBegin == countEnd || n > 0; n /= 10)
        *--countBegin = char('0' + n % 10);
    const qsizetype countSize = countEnd - countBegin;
    const qsizetype hexSize = count > 0 ? 3 * count - 1 : 0;

    QByteArray text(TimeSize + 1 + writtenSize(line.link, Field::Link) + 1 + direction.size() + 1 +
                        countSize + 1 + hexSize + 1 + writtenSize(line.meaning, Field::Meaning),
                    Qt::Uninitialized);
    char *out = writeTime(line.time, text.data());
    *out++ = '\t';
    out = writeText(line.link, Field::Link, out);
    *out++ = '\t';
    std::memcpy(out, direction.data(), size_t(direction.size()));
    out += direction.size();
    *out++ = '\t';
    std::memcpy(out, countBegin, size_t(countSize));
    out += countSize;
    *out++ = '\t';
    if (count > 0) {
        // Four bytes at a time: the fourth is overwritten by the next pair, and the last pair
        // goes without its space.
        const auto *in = reinterpret_cast<const unsigned char *>(line.bytes.constData());
        for (qsizetype i = 0; i + 1 < count; ++i, out += 3)
            std::memcpy(out, &HexPairs[4 * in[i]], 4);
        std::memcpy(out, &HexPairs[4 * in[count - 1]], 2);
        out += 2;
    }
    *out++ = '\t';
    writeText(line.meaning, Field::Meaning, out);
    return text;
}

std::optional<Line> parse(QByteArrayView text)
{
    if (text.endsWith('\n')) {
        text.chop(1);
        if (text.endsWith('\r'))
            text.chop(1);
    }
    std::array<QByteArrayView, 6> fields;
    qsizetype from = 0;
    for (qsizetype i = 0; i < 5; ++i) {
        const qsizetype tab = text.indexOf('\t', from);
        if (tab < 0)
            return std::nullopt;
        fields[i] = text.sliced(from, tab - from);
        from = tab + 1;
    }
    fields[5] = text.sliced(from);

    Line line;
    const std::optional<QDateTime> time = readTime(fields[0]);
    if (!time)
        return std::nullopt;
    line.time = *time;
    line.link = QString::fromUtf8(fields[1]);
    const std::optional<Direction> direction = directionNamed(fields[2]);
    if (!direction)
        return std::nullopt;
    line.direction = *direction;
    const qint64 count = readCount(fields[3]);
    std::optional<QByteArray> bytes = count < 0 ? std::nullopt : readHex(fields[4], count);
    if (!bytes)
        return std::nullopt;
    line.bytes = std::move(*bytes);
    std::optional<QString> meaning = readMeaning(fields[5]); // a sixth tab is a raw control
    if (!meaning)
        return std::nullopt;
    line.meaning = std::move(*meaning);
    return line;
}

} // namespace kalveno::logline
