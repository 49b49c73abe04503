#include "portmapping.h"

#include <QList>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

constexpr QByteArrayView Section = "ports";
constexpr int HighestNumber = 32767;

struct Line
{
    QByteArray text; // without its line end
    QByteArray end;  // "\n", "\r\n", or nothing on a last line without one
};

QList<Line> splitLines(const QByteArray &ini)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < ini.size()) {
        const qsizetype newline = ini.indexOf('\n', start);
        if (newline < 0) {
            lines.append({ini.mid(start), {}});
            break;
        }
        const bool crlf = newline > start && ini.at(newline - 1) == '\r';
        lines.append({ini.mid(start, newline - start - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        start = newline + 1;
    }
    return lines;
}

// The name of the section that the line opens, if it opens one.
std::optional<QByteArray> sectionName(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    const qsizetype close = t.indexOf(']');
    if (!t.startsWith('[') || close < 0)
        return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

bool isBlankOrComment(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    return t.isEmpty() || t.startsWith(';') || t.startsWith('#');
}

// One line of the section as "number = value ; comment", with where its value lies.
struct Entry
{
    int number = 0; // 0 when the key is not a port number
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
    qsizetype commentStart = -1;
    QString problem;

    QByteArray value(const QByteArray &line) const
    {
        return line.mid(valueStart, valueEnd - valueStart);
    }
};

Entry parseEntry(const QByteArray &line)
{
    Entry e;
    const qsizetype equals = line.indexOf('=');
    if (equals < 0) {
        e.problem = u"not number=device"_s;
        return e;
    }
    const QByteArray key = line.left(equals).trimmed();
    bool ok = !key.isEmpty() &&
              std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int number = ok ? key.toInt(&ok) : 0;
    if (!ok || number < 1 || number > HighestNumber) {
        e.problem = u"\"%1\" is not a port number from 1 to %2"_s.arg(QString::fromUtf8(key))
                        .arg(HighestNumber);
        return e;
    }
    e.number = number;
    e.commentStart = line.indexOf(';', equals + 1);
    e.valueStart = equals + 1;
    e.valueEnd = e.commentStart < 0 ? line.size() : e.commentStart;
    while (e.valueStart < e.valueEnd && QChar::isSpace(uchar(line.at(e.valueStart))))
        ++e.valueStart;
    while (e.valueEnd > e.valueStart && QChar::isSpace(uchar(line.at(e.valueEnd - 1))))
        --e.valueEnd;
    const QByteArray value = e.value(line);
    if (value.isEmpty())
        e.problem = u"no device for %1"_s.arg(number);
    else if (!value.startsWith('/'))
        e.problem = u"\"%1\" is not a device path"_s.arg(QString::fromUtf8(value));
    return e;
}

} // namespace

PortMappings parsePortMappings(const QByteArray &ini)
{
    PortMappings mappings;
    bool inSection = false;
    const QList<Line> lines = splitLines(ini);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &text = lines.at(i).text;
        if (const auto name = sectionName(text)) {
            inSection = *name == Section;
            continue;
        }
        if (!inSection || isBlankOrComment(text))
            continue;
        const Entry entry = parseEntry(text);
        if (entry.problem.isEmpty())
            mappings.devices.insert(entry.number, QString::fromUtf8(entry.value(text)));
        else
            mappings.problems << u"[ports] line %1 (%2): %3, left out"_s.arg(i + 1).arg(
                QString::fromUtf8(text.trimmed()), entry.problem);
    }
    return mappings;
}

QByteArray withPortMapping(const QByteArray &ini, int number, const QString &device)
{
    const QList<Line> lines = splitLines(ini);
    const QByteArray eol =
        lines.isEmpty() || lines.first().end.isEmpty() ? "\n" : lines.first().end;
    const QByteArray entry = QByteArray::number(number) + '=' + device.toUtf8();
    QByteArray out;
    out.reserve(ini.size() + entry.size() + 16);
    bool inSection = false;
    bool written = device.isEmpty();
    qsizetype insertAt = -1; // after the section's last entry, or after its header
    for (const Line &line : lines) {
        if (const auto name = sectionName(line.text)) {
            inSection = *name == Section;
            out += line.text + line.end;
            if (inSection)
                insertAt = out.size();
            continue;
        }
        const Entry e = inSection && !isBlankOrComment(line.text) ? parseEntry(line.text) : Entry{};
        if (e.number != number) {
            out += line.text + line.end;
            if (inSection && !isBlankOrComment(line.text))
                insertAt = out.size();
            continue;
        }
        if (!written) {
            out += line.text.left(e.valueStart) + device.toUtf8() + line.text.mid(e.valueEnd) +
                   line.end;
            written = true;
            insertAt = out.size();
        } else if (e.commentStart >= 0) {
            out += line.text.mid(e.commentStart) + line.end;
        }
    }
    if (written)
        return out;
    if (insertAt < 0) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += eol;
        if (!out.isEmpty())
            out += eol;
        return out + '[' + Section.toByteArray() + ']' + eol + entry + eol;
    }
    // After a last line without a line end, the entry takes the line end before it instead.
    if (insertAt > 0 && out.at(insertAt - 1) != '\n')
        out.insert(insertAt, eol + entry);
    else
        out.insert(insertAt, entry + eol);
    return out;
}

QString unmappableDevice(const QString &device)
{
    if (!device.startsWith(u'/'))
        return u"%1 is not an absolute path"_s.arg(device);
    if (device.contains(u';') || device.contains(u'\n') || device.contains(u'\r') ||
        device.trimmed() != device)
        return u"%1 holds characters that kalveno.ini cannot keep in an entry"_s.arg(device);
    return {};
}

} // namespace kalveno
