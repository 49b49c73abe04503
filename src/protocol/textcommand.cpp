#include "textcommand.h"

#include "turnstile.h"
#include "wording.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace kalveno::textcommand {

namespace {

using wording::allDigits;
using wording::isDigit;

constexpr int MaxDurationMs = 3600 * 1000;
constexpr int BatchMs = 4000; // the console's "Batch On 4 Sec."

bool isDurationChar(char c)
{
    return isDigit(c) || c == '.';
}

bool isBatchChar(char c)
{
    return isDurationChar(c) || c == ',';
}

// What the letters after "><" name.
Kind kindOf(QByteArrayView text)
{
    const char family = text.size() > 2 ? text[2] : '\0';
    const char letter = text.size() > 3 ? text[3] : '\0';
    const char next = text.size() > 4 ? text[4] : '\0';
    if (family == 'T')
        return Kind::Output;
    if (family == 'B')
        return Kind::Batch;
    if (family == 'I') {
        switch (letter) {
        case 'P':
            return Kind::Passage;
        case 'T':
            return Kind::ValidationTimeout;
        case 'M':
            return Kind::Mode;
        case 'D':
            return Kind::Direct;
        case 'R':
            if (next == '?')
                return Kind::ReadConfig;
            if (next == ',')
                return Kind::WriteConfig;
            break;
        default:
            break;
        }
    }
    return Kind::Unknown;
}

Command refused(const QString &why)
{
    Command command;
    command.refusal = why;
    return command;
}

// "02", ".3", "1.5": seconds, with a point for fractions.
std::optional<int> durationMs(QByteArrayView text)
{
    const qsizetype point = text.indexOf('.');
    const QByteArrayView whole = point < 0 ? text : text.first(point);
    const QByteArrayView fraction = point < 0 ? QByteArrayView() : text.sliced(point + 1);
    if (text.isEmpty() || text.size() > 8 || (whole.isEmpty() && fraction.isEmpty()) ||
        (!whole.isEmpty() && !allDigits(whole)) || (point >= 0 && !allDigits(fraction)))
        return std::nullopt;
    const double ms = text.toByteArray().toDouble() * 1000;
    if (ms < 1 || ms > MaxDurationMs)
        return std::nullopt;
    return qRound(ms);
}

Command readOutput(QByteArrayView text)
{
    // "><T" <n> <action>
    if (text.size() < 5)
        return refused(u"incomplete output command"_s);
    if (text[3] < '1' || text[3] > '7')
        return refused(u"output number must be 1 to 7"_s);
    Command command;
    command.output = text[3] - '0';
    const QByteArrayView action = text.sliced(4);
    if (action == "E") {
        command.action = Action::On;
    } else if (action == "D") {
        command.action = Action::Off;
    } else if (action.startsWith('T')) {
        const auto ms = durationMs(action.sliced(1));
        if (!ms)
            return refused(u"duration must be 0.001 to 3600 seconds"_s);
        command.action = Action::Timed;
        command.durationMs = *ms;
    } else {
        return refused(u"action must be E, D or T<seconds>"_s);
    }
    return command;
}

Command readBatch(QByteArrayView text)
{
    const QList<QByteArray> fields =
        text.startsWith("><B,") ? text.sliced(4).toByteArray().split(',') : QList<QByteArray>();
    if (fields.size() != 5 || !allDigits(fields[0]))
        return refused(u"batch must be ><B,<on>,<f1>,<f2>,<f3>,<f4>"_s);
    Command command;
    command.batchOn = fields[0].toInt() != 0;
    command.durationMs = command.batchOn ? BatchMs : 0;
    return command;
}

// "><IP" and "><IT" carry two numbers of at least two digits each with nothing between them.
// Four digits split two and two; with more, only the last two belong to the second number, as
// the second number (persons, cards) is the one that stays small.
Command readTwoFields(QByteArrayView text)
{
    const QByteArrayView digits = text.sliced(4);
    if (!allDigits(digits) || digits.size() < 4 || digits.size() > 7)
        return refused(u"expected two numbers of two or more digits"_s);
    Command command;
    command.seconds = digits.first(digits.size() - 2).toInt();
    command.count = digits.last(2).toInt();
    return command;
}

// `closed`: a "*" ended the text, which a configuration write must have.
Command readConfiguration(QByteArrayView text, bool closed)
{
    Command command;
    if (text == turnstile::ReadConfigRequest)
        return command;
    const QList<QByteArray> fields = text.sliced(4).toByteArray().split(',');
    if (!closed || fields.size() != 5 || !fields[0].isEmpty())
        return refused(u"configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
    if (fields[1].size() != 1 || fields[1][0] < '0' || fields[1][0] > '2')
        return refused(u"polling must be 0, 1 or 2"_s);
    for (int i = 0; i < 3; ++i) {
        if (!isRemoteAddress(fields[2 + i]))
            return refused(u"remote antenna %1 address is not an IPv4 address"_s.arg(i + 2));
        command.addresses[i] = fields[2 + i];
    }
    command.polling = fields[1][0];
    return command;
}

Command readSetting(QByteArrayView text, bool closed)
{
    if (text.size() < 4)
        return refused(u"incomplete setting"_s);
    switch (text[3]) {
    case 'P':
    case 'T':
        return readTwoFields(text);
    case 'M': {
        if (text.size() != 5 || text[4] < '0' || text[4] > '5')
            return refused(u"mode must be one digit 0 to 5"_s);
        Command command;
        command.mode = text[4] - '0';
        return command;
    }
    case 'D': {
        if (text.size() < 6 || !allDigits(text.sliced(4, 2)) ||
            text.size() != 6 + text.sliced(4, 2).toInt())
            return refused(u"direct command length does not match its data"_s);
        Command command;
        command.data = text.sliced(6).toByteArray();
        return command;
    }
    case 'R':
        return readConfiguration(text, closed);
    default:
        return refused(u"unknown setting"_s);
    }
}

// The end of a run of accepted characters from `from`; -1 when the run reaches the end of what
// has arrived and more may follow.
qsizetype runEnd(QByteArrayView s, qsizetype from, bool (*accept)(char), bool more)
{
    qsizetype i = from;
    while (i < s.size() && accept(s[i]))
        ++i;
    return i == s.size() && more ? -1 : i;
}

// The end of an unknown or refused command: the next "><" (or the "OK" in front of it), "*", CR
// or LF.
qsizetype unknownEnd(QByteArrayView s, bool more)
{
    for (qsizetype i = Start.size(); i < s.size(); ++i) {
        if (s[i] == '*' || s[i] == '\r' || s[i] == '\n')
            return i;
        if (s.sliced(i).startsWith(Start))
            return i >= 4 && s.sliced(i - 2, 2) == Acknowledge ? i - 2 : i;
    }
    return more ? -1 : s.size();
}

// The length of the command form at the start of `s` (which begins with "><"), without a "*"
// that may follow; -1 when more bytes are needed to tell.
qsizetype formLength(QByteArrayView s, bool more)
{
    const auto need = [&](qsizetype n) { return s.size() >= n ? n : (more ? -1 : s.size()); };
    if (s.size() < 3)
        return need(3);
    switch (s[2]) {
    case 'T':
        if (s.size() < 5)
            return need(5);
        return s[4] == 'T' ? runEnd(s, 5, isDurationChar, more) : 5;
    case 'B':
        return runEnd(s, 3, isBatchChar, more);
    case 'I':
        if (s.size() < 4)
            return need(4);
        switch (s[3]) {
        case 'P':
        case 'T':
            return runEnd(s, 4, isDigit, more);
        case 'M':
            return need(5);
        case 'D':
            if (s.size() < 6)
                return need(6);
            return allDigits(s.sliced(4, 2)) ? need(6 + s.sliced(4, 2).toInt()) : 6;
        case 'R':
            if (s.size() < 5)
                return need(5);
            if (s[4] == ',') {
                const qsizetype star = s.indexOf('*', 5);
                return star >= 0 ? star : (more ? -1 : s.size());
            }
            return 5;
        default:
            return unknownEnd(s, more);
        }
    default:
        return unknownEnd(s, more);
    }
}

// The command that `text` (without an "OK" in front) is, all but its text.
Command read(QByteArrayView text)
{
    // A "*" after the command closes it; one that a form taking any byte there holds (a direct
    // command's data, the mode character) does not.
    const Kind kind = text.startsWith(Start) ? kindOf(text) : Kind::Unknown;
    const bool closed =
        text.startsWith(Start) && text.endsWith('*') &&
        !((kind == Kind::Direct || kind == Kind::Mode) && formLength(text, true) == text.size());
    if (closed)
        text.chop(1);
    Command command;
    if (!text.startsWith(Start) || text.size() < 3) {
        command = refused(u"not a command"_s);
    } else if (text.size() > MaxLength) {
        command = refused(u"too long"_s);
    } else if (text[2] == 'T') {
        command = readOutput(text);
    } else if (text[2] == 'B') {
        command = readBatch(text);
    } else if (text[2] == 'I') {
        command = readSetting(text, closed);
    } else {
        command = refused(u"unknown command family"_s);
    }
    command.kind = kind;
    command.closed = closed;
    return command;
}

// extent() for a command without an "OK" in front.
qsizetype commandEnd(QByteArrayView s, bool more)
{
    const auto withStar = [s](qsizetype length) {
        return length < s.size() && s[length] == '*' ? length + 1 : length;
    };
    const qsizetype length = formLength(s, more);
    if (length < 0)
        return -1;
    if (!read(s.first(withStar(length))).isRefused())
        return withStar(length);
    const qsizetype refusedEnd = unknownEnd(s, more);
    return refusedEnd < 0 ? -1 : withStar(refusedEnd);
}

QString unknown(const Command &command)
{
    return u"unknown command "_s + wording::quoted(command.text);
}

QString outputMeaning(const Command &c)
{
    // Told as the console wrote it, even with a duration that the bridge refuses.
    const QByteArrayView text = c.text;
    if (text.size() < 5 || text[3] < '1' || text[3] > '7')
        return unknown(c);
    const int output = text[3] - '0';
    const QByteArrayView action = text.sliced(4);
    if (action == "E")
        return output == 7 ? u"drop the arm"_s : outputName(output) + u" on"_s;
    if (action == "D")
        return outputName(output) + u" off"_s;
    const QByteArrayView duration = action.sliced(1);
    if (action[0] != 'T' || duration.count('.') > 1 ||
        !std::all_of(duration.begin(), duration.end(), isDurationChar) ||
        !std::any_of(duration.begin(), duration.end(), isDigit))
        return unknown(c);
    return outputName(output) + u" on for %1 s"_s.arg(wording::number(duration));
}

// Seconds, then persons or cards, two digits each; wider fields cannot be told apart.
QString twoFieldsMeaning(const Command &c)
{
    const QByteArrayView fields = QByteArrayView(c.text).sliced(4);
    const bool passage = c.kind == Kind::Passage;
    if (fields.isEmpty() ||
        !std::all_of(fields.begin(), fields.end(), [](char f) { return isDigit(f) || f == '-'; }))
        return unknown(c);
    if (fields.size() != 4 || !allDigits(fields))
        return (passage ? u"passage, seconds and persons run together: "_s
                        : u"validation time-out and cards run together: "_s) +
               wording::shown(fields);
    if (passage)
        return u"passage: %1, %2"_s.arg(wording::howMany(fields.last(2), u"person", u"persons"),
                                        wording::seconds(fields.first(2)));
    return u"validation time-out %1, %2"_s.arg(wording::seconds(fields.first(2)),
                                               wording::cardsBeforeOffline(fields.last(2)));
}

QString modeMeaning(QByteArrayView value)
{
    if (value.isEmpty())
        return u"mode command without a mode"_s;
    if (const int index = value[0] - '0';
        value.size() == 1 && index >= 0 && index < turnstile::modes().size())
        return wording::modeEntry(index);
    return u"mode %1, not in the list"_s.arg(wording::quoted(value));
}

QString directMeaning(const Command &c)
{
    const QByteArrayView rest = QByteArrayView(c.text).sliced(4);
    if (rest.size() < 2 || !allDigits(rest.first(2)))
        return unknown(c);
    const qsizetype announced = rest.first(2).toInt();
    const qsizetype data = rest.size() - 2;
    if (data < announced)
        return u"direct command cut short, %1 of %2 data bytes"_s.arg(data).arg(announced);
    return u"direct command, "_s + wording::counted(announced, u"data byte", u"data bytes");
}

// "<polling>,<ip2>,<ip3>,<ip4>": a comma typed into an address adds a field.
QString writeConfigMeaning(QByteArrayView fields, bool closed)
{
    QStringList parts;
    qsizetype from = 0;
    for (int index = 0; index <= 3; ++index) {
        if (from > fields.size()) {
            parts.append(u"remote antenna %1 missing"_s.arg(index + 1));
            continue;
        }
        qsizetype comma = fields.indexOf(',', from);
        if (comma < 0)
            comma = fields.size();
        const QByteArrayView field = fields.sliced(from, comma - from);
        parts.append(index == 0 ? wording::polling(field)
                                : wording::remoteAntenna(index + 1, field));
        from = comma + 1;
    }
    if (from <= fields.size())
        parts.append(
            wording::counted(fields.sliced(from).count(',') + 1, u"extra field", u"extra fields"));
    if (!closed)
        parts.append(u"no closing *"_s);
    return u"configuration write: "_s + parts.join(u", "_s);
}

} // namespace

bool startsCommand(QByteArrayView s)
{
    return s.startsWith(Start) || (s.startsWith(Acknowledge) && s.sliced(2).startsWith(Start));
}

qsizetype extent(QByteArrayView s, bool more)
{
    const qsizetype acknowledgement = s.startsWith(Acknowledge) ? Acknowledge.size() : 0;
    const qsizetype end = commandEnd(s.sliced(acknowledgement), more);
    return end < 0 ? -1 : acknowledgement + end;
}

Command parse(QByteArrayView text)
{
    const bool acknowledged = text.startsWith(Acknowledge);
    if (acknowledged)
        text = text.sliced(Acknowledge.size());
    Command command = read(text);
    command.acknowledged = acknowledged;
    command.text = (command.closed ? text.chopped(1) : text).toByteArray();
    return command;
}

QString describe(const Command &command)
{
    QString meaning;
    switch (command.kind) {
    case Kind::Output:
        meaning = outputMeaning(command);
        break;
    case Kind::Batch:
        meaning = command.isRefused() ? unknown(command)
                  : command.batchOn   ? u"batch on"_s
                                      : u"batch off"_s;
        break;
    case Kind::Passage:
    case Kind::ValidationTimeout:
        meaning = twoFieldsMeaning(command);
        break;
    case Kind::Mode:
        meaning = modeMeaning(QByteArrayView(command.text).sliced(4));
        break;
    case Kind::Direct:
        meaning = directMeaning(command);
        break;
    case Kind::ReadConfig:
        meaning = u"configuration request"_s;
        break;
    case Kind::WriteConfig:
        meaning = writeConfigMeaning(QByteArrayView(command.text).sliced(5), command.closed);
        break;
    case Kind::Unknown:
        meaning = unknown(command);
        break;
    }
    return command.acknowledged ? u"OK, "_s + meaning : meaning;
}

QString verdict(const Command &command)
{
    const QString meaning = describe(command);
    return command.isRefused() ? meaning + u"; refused: "_s + command.refusal : meaning;
}

QString outputName(int output)
{
    switch (output) {
    case 5:
        return u"green LED"_s;
    case 6:
        return u"red LED"_s;
    case 7:
        return u"arm"_s;
    default:
        return u"TTL %1 OUT"_s.arg(output);
    }
}

bool isRemoteAddress(QByteArrayView text)
{
    if (text.isEmpty())
        return true;
    const QList<QByteArray> parts = text.toByteArray().split('.');
    if (parts.size() != 4)
        return false;
    return std::all_of(parts.begin(), parts.end(), [](const QByteArray &part) {
        return allDigits(part) && part.size() <= 3 && part.toInt() <= 255;
    });
}

} // namespace kalveno::textcommand
