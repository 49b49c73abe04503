#include "field.h"

namespace kalveno {

QString getField(QStringView text, QStringView delimiter, qint64 index,
                 std::optional<QStringView> replacement)
{
    const bool replaceMode = replacement.has_value() && *replacement != NoReplacement;
    if (delimiter.isEmpty())
        return text.toString();

    // Skip index - 1 delimiters; every one that is missing adds one to the filler.
    qsizetype start = 0;
    qint64 missing = 0;
    for (qint64 k = 2; k <= index; ++k) {
        const qsizetype found = text.indexOf(delimiter, start);
        if (found < 0) {
            start = text.size();
            missing = index - k + 1;
            break;
        }
        start = found + delimiter.size();
    }
    qsizetype end = text.indexOf(delimiter, start);
    if (end < 0)
        end = text.size();

    if (!replaceMode)
        return text.sliced(start, end - start).toString();

    QString result;
    result.reserve(start + missing * delimiter.size() + replacement->size() + text.size() - end);
    result += text.first(start);
    for (qint64 i = 0; i < missing; ++i)
        result += delimiter;
    result += *replacement;
    result += text.sliced(end);
    return result;
}

} // namespace kalveno
