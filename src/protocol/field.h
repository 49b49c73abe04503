#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace kalveno {

// Stands for "no replacement" in a call of getField; it can never be written into a field.
inline constexpr QStringView NoReplacement = u"---VIDE---**";

// The index-th field (from 1; below 2 means the first) of a text whose fields are separated by
// delimiter, or, when a replacement is given, the whole text with that field replaced; missing
// fields are created by adding delimiters at the end. An empty delimiter reads the whole text
// and replaces nothing.
QString getField(QStringView text, QStringView delimiter, qint64 index,
                 std::optional<QStringView> replacement = std::nullopt);

} // namespace kalveno
