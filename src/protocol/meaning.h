#pragma once

#include "traffic.h"

#include <QByteArrayView>
#include <QString>

namespace kalveno::meaning {

struct Context
{
    LinkKind link;
    bool sent;               // the console wrote the chunk; false: it read it
    bool readerLine = false; // serial only: the console stands in for the RFID reader
};

// What one read or one write on a link holds, item by item in the order of its bytes, in short
// lower-case English joined by "; ". Bytes that match no message are only counted. The text
// stays short whatever the chunk: at most MaxItems items, then "and <n> more", and never more
// than MaxLength characters in all.
inline constexpr int MaxItems = 20;
inline constexpr qsizetype MaxLength = 24 * 1024;

QString of(const Context &context, QByteArrayView chunk);

} // namespace kalveno::meaning
