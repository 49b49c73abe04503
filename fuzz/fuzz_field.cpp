// The field splitter, against Qt's own splitting of the same text.
//
// Input: "<index>\0<delimiter>\0<text>" reads a field; "=<index>\0<delimiter>\0<replacement>\0
// <text>" replaces one. The text is the rest of the input, bytes read as Latin-1.
#include "check.h"
#include "protocol/field.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace kalveno;

namespace {

// Replace mode adds index - 1 delimiters to a short text by design; beyond this the run would
// only measure memory.
constexpr qint64 MaxReplaceIndex = 1000;

QByteArrayView takePart(QByteArrayView &input)
{
    const qsizetype end = input.indexOf('\0');
    if (end < 0) {
        const QByteArrayView all = input;
        input = {};
        return all;
    }
    const QByteArrayView part = input.first(end);
    input = input.sliced(end + 1);
    return part;
}

QStringList splitFields(const QString &text, const QString &delimiter)
{
    QStringList fields;
    for (const QStringView field : QStringView(text).split(delimiter))
        fields.append(field.toString());
    return fields;
}

void checkRead(const QString &text, const QString &delimiter, qint64 index)
{
    const QString field = getField(text, delimiter, index);
    if (delimiter.isEmpty()) {
        FUZZ_CHECK(field == text);
        return;
    }
    FUZZ_CHECK(text.contains(field));
    FUZZ_CHECK(!field.contains(delimiter));
    const QStringList fields = splitFields(text, delimiter);
    const qint64 n = std::max<qint64>(index, 1);
    FUZZ_CHECK(field == (n <= fields.size() ? fields.at(qsizetype(n - 1)) : QString()));
}

void checkReplace(const QString &text, const QString &delimiter, qint64 index,
                  const QString &replacement)
{
    const QString result = getField(text, delimiter, index, replacement);
    if (delimiter.isEmpty()) {
        FUZZ_CHECK(result == text);
        return;
    }
    if (replacement == NoReplacement) {
        FUZZ_CHECK(result == getField(text, delimiter, index));
        return;
    }
    // Missing fields come into being empty; every other field keeps its text.
    QStringList fields = splitFields(text, delimiter);
    const qint64 n = std::max<qint64>(index, 1);
    while (fields.size() < n)
        fields.append(QString());
    fields[qsizetype(n - 1)] = replacement;
    FUZZ_CHECK(result == fields.join(delimiter));

    // With a one-character delimiter that the replacement does not hold, the new field and its
    // neighbours read back as they were written.
    if (delimiter.size() == 1 && !replacement.contains(delimiter)) {
        for (const qint64 k : {qint64(1), n - 1, n, n + 1, qint64(fields.size())}) {
            if (k >= 1 && k <= fields.size())
                FUZZ_CHECK(getField(result, delimiter, k) == fields.at(qsizetype(k - 1)));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArrayView input(data, qsizetype(size));
    QByteArrayView indexText = takePart(input);
    const bool replace = indexText.startsWith('=');
    if (replace)
        indexText = indexText.sliced(1);
    const qint64 index = indexText.toByteArray().toLongLong();
    const QString delimiter = QString::fromLatin1(takePart(input));

    if (!replace) {
        checkRead(QString::fromLatin1(input), delimiter, index);
        return 0;
    }
    const QString replacement = QString::fromLatin1(takePart(input));
    if (index > MaxReplaceIndex)
        return 0;
    checkReplace(QString::fromLatin1(input), delimiter, index, replacement);
    return 0;
}
