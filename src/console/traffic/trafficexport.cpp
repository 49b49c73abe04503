#include "trafficexport.h"

#include "protocol/traffic.h"
#include "trafficsource.h"

#include <QIODevice>

using namespace Qt::StringLiterals;

namespace kalveno::trafficexport {

namespace {

// A row's direction as the session log writes it, or "broken" for a line that did not read.
QByteArrayView kindWord(TrafficKind kind)
{
    switch (kind) {
    case TrafficKind::Sent:
        return directionWord(Direction::Sent);
    case TrafficKind::Received:
        return directionWord(Direction::Received);
    case TrafficKind::Event:
        return directionWord(Direction::Event);
    case TrafficKind::Broken:
        break;
    }
    return "broken";
}

// The time with its date and UTC offset, as the session log writes it: +00:00, never Z.
QString fullTime(const QDateTime &time)
{
    const int minutes = time.offsetFromUtc() / 60;
    return time.toString(u"yyyy-MM-dd'T'HH:mm:ss.zzz"_s) +
           u"%1%2:%3"_s.arg(QChar(minutes < 0 ? u'-' : u'+'))
               .arg(qAbs(minutes) / 60, 2, 10, QChar(u'0'))
               .arg(qAbs(minutes) % 60, 2, 10, QChar(u'0'));
}

// RFC 4180: a field that holds a comma, a quote or a line end goes in quotes, its quotes doubled.
// Spreadsheets run a cell that begins with = + - @ as a formula (TAB and CR lead into one too):
// such a field begins with an apostrophe, which they take as "text" and do not show.
void appendCsvField(QByteArray &out, const QString &field)
{
    QByteArray utf8 = field.toUtf8();
    if (!utf8.isEmpty() && QByteArrayView("=+-@\t\r").contains(utf8.front()))
        utf8.prepend('\'');
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') &&
        !utf8.contains('\n')) {
        out += utf8;
        return;
    }
    out += '"';
    out += utf8.replace("\"", "\"\"");
    out += '"';
}

} // namespace

QByteArray logLines(const TrafficSource &source, const QList<qint64> &keys)
{
    QByteArray text;
    for (const qint64 key : keys) {
        if (key < source.begin())
            continue;
        text += source.logLine(key);
        text += '\n';
    }
    return text;
}

QByteArray csvRecord(const TrafficRow &row)
{
    QByteArray text;
    const bool broken = row.kind == TrafficKind::Broken;
    appendCsvField(text, broken ? QString() : fullTime(row.time));
    text += ',';
    appendCsvField(text, row.link);
    text += ',';
    text += kindWord(row.kind);
    text += ',';
    if (!broken)
        text += QByteArray::number(row.bytes.size());
    text += ',';
    text += row.bytes.toHex(' ');
    text += ',';
    appendCsvField(text, charactersOf(row.bytes));
    text += ',';
    appendCsvField(text, row.meaning);
    text += "\r\n";
    return text;
}

bool writeCsv(QIODevice &out, const TrafficSource &source, const std::deque<qint64> &keys)
{
    constexpr qsizetype Flush = 1024 * 1024;
    QByteArray text = "\xEF\xBB\xBFtime,link,direction,count,hex,text,meaning\r\n";
    for (const qint64 key : keys) {
        if (key < source.begin())
            continue;
        text += csvRecord(source.row(key));
        if (text.size() >= Flush) {
            if (out.write(text) != text.size())
                return false;
            text.clear();
        }
    }
    return out.write(text) == text.size();
}

} // namespace kalveno::trafficexport
