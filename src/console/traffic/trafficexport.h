#pragma once

#include <QByteArray>
#include <QList>

#include <deque>

class QIODevice;

namespace kalveno {

class TrafficSource;
struct TrafficRow;

// What a traffic view writes out of its rows: the session log's lines, copied to the clipboard,
// and a CSV file. Each takes the rows' keys in the order given and leaves out those the source
// has forgotten.
namespace trafficexport {

// The rows as session log lines, each ended by LF.
QByteArray logLines(const TrafficSource &source, const QList<qint64> &keys);

// One row as a CSV record (RFC 4180) in UTF-8, ended by CR LF: time (with its date and UTC
// offset, as the session log writes it), link, direction, count, hex, text and meaning. A text
// field that a spreadsheet would take for a formula begins with an apostrophe; the hex field
// holds the bytes exactly.
QByteArray csvRecord(const TrafficRow &row);

// The rows as a CSV file: a byte-order mark and a header, then a record per row. False when the
// device refuses the bytes.
bool writeCsv(QIODevice &out, const TrafficSource &source, const std::deque<qint64> &keys);

} // namespace trafficexport

} // namespace kalveno
