#include "textcommand.h"

#include <QtGlobal>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

constexpr QByteArrayView Start = "><";
constexpr QByteArrayView Acknowledge = "OK";
constexpr int MaxDurationMs = 3600 * 1000;
constexpr int BatchMs = 4000; // the console's "Batch On 4 Sec."

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isDurationChar(char c)
{
    return isDigit(c) || c == '.';
}

bool isBatchChar(char c)
{
    return isDurationChar(c) || c == ',';
}

bool allDigits(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isDigit);
}

TextCommand invalid(const QString &problem)
{
    TextCommand command;
    command.problem = problem;
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

TextCommand parseOutput(QByteArrayView text)
{
    // "><T" <n> <action>
    if (text.size() < 5)
        return invalid(u"incomplete output command"_s);
    if (text[3] < '1' || text[3] > '7')
        return invalid(u"output number must be 1 to 7"_s);
    TextCommand command;
    command.kind = TextCommand::Kind::Output;
    command.output = text[3] - '0';
    const QByteArrayView action = text.sliced(4);
    if (action == "E") {
        command.action = TextCommand::Action::On;
    } else if (action == "D") {
        command.action = TextCommand::Action::Off;
    } else if (action.startsWith('T')) {
        const auto ms = durationMs(action.sliced(1));
        if (!ms)
            return invalid(u"duration must be 0.001 to 3600 seconds"_s);
        command.action = TextCommand::Action::Timed;
        command.durationMs = *ms;
    } else {
        return invalid(u"action must be E, D or T<seconds>"_s);
    }
    return command;
}

TextCommand parseBatch(QByteArrayView text)
{
    const QList<QByteArray> fields =
        text.startsWith("><B,") ? text.sliced(4).toByteArray().split(',') : QList<QByteArray>();
    if (fields.size() != 5 || !allDigits(fields[0]))
        return invalid(u"batch must be ><B,<on>,<f1>,<f2>,<f3>,<f4>"_s);
    TextCommand command;
    command.kind = TextCommand::Kind::Batch;
    command.batchOn = fields[0].toInt() != 0;
    command.durationMs = command.batchOn ? BatchMs : 0;
    return command;
}

// "><IP" and "><IT" carry two numbers of at least two digits each with nothing between them.
// Four digits split two and two; with more, only the last two belong to the second number, as
// the second number (persons, cards) is the one that stays small.
TextCommand parseTwoFields(QByteArrayView text, TextCommand::Kind kind)
{
    const QByteArrayView digits = text.sliced(4);
    if (!allDigits(digits) || digits.size() < 4 || digits.size() > 7)
        return invalid(u"expected two numbers of two or more digits"_s);
    TextCommand command;
    command.kind = kind;
    command.seconds = digits.first(digits.size() - 2).toInt();
    command.count = digits.last(2).toInt();
    return command;
}

// `starred`: the text ended with "*", which a configuration write must have.
TextCommand parseSetting(QByteArrayView text, bool starred)
{
    if (text.size() < 4)
        return invalid(u"incomplete setting"_s);
    switch (text[3]) {
    case 'P':
        return parseTwoFields(text, TextCommand::Kind::Passage);
    case 'T':
        return parseTwoFields(text, TextCommand::Kind::ValidationTimeout);
    case 'M': {
        if (text.size() != 5 || text[4] < '0' || text[4] > '5')
            return invalid(u"mode must be one digit 0 to 5"_s);
        TextCommand command;
        command.kind = TextCommand::Kind::Mode;
        command.mode = text[4] - '0';
        return command;
    }
    case 'D': {
        if (text.size() < 6 || !allDigits(text.sliced(4, 2)) ||
            text.size() != 6 + text.sliced(4, 2).toInt())
            return invalid(u"direct command length does not match its data"_s);
        TextCommand command;
        command.kind = TextCommand::Kind::Direct;
        command.data = text.sliced(6).toByteArray();
        return command;
    }
    case 'R': {
        TextCommand command;
        if (text == "><IR?") {
            command.kind = TextCommand::Kind::ReadConfig;
            return command;
        }
        const QList<QByteArray> fields = text.sliced(4).toByteArray().split(',');
        if (!starred || fields.size() != 5 || !fields[0].isEmpty())
            return invalid(u"configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
        if (fields[1].size() != 1 || fields[1][0] < '0' || fields[1][0] > '2')
            return invalid(u"polling must be 0, 1 or 2"_s);
        for (int i = 0; i < 3; ++i) {
            if (!isRemoteAddress(fields[2 + i]))
                return invalid(u"remote antenna %1 address is not an IPv4 address"_s.arg(i + 2));
            command.addresses[i] = fields[2 + i];
        }
        command.kind = TextCommand::Kind::WriteConfig;
        command.polling = fields[1][0];
        return command;
    }
    default:
        return invalid(u"unknown setting"_s);
    }
}

// The end of a run of accepted characters from `from`; -1 when the run reaches the end of what
// has arrived and more may follow.
qsizetype runEnd(QByteArrayView s, qsizetype from, bool (*accept)(char), bool quiet)
{
    qsizetype i = from;
    while (i < s.size() && accept(s[i]))
        ++i;
    return i == s.size() && !quiet ? -1 : i;
}

// The end of an unknown or refused command: the next "><" (or the "OK" in front of it), "*", CR
// or LF.
qsizetype unknownEnd(QByteArrayView s, bool quiet)
{
    for (qsizetype i = 2; i < s.size(); ++i) {
        if (s[i] == '*' || s[i] == '\r' || s[i] == '\n')
            return i;
        if (s.sliced(i).startsWith(Start))
            return i >= 4 && s.sliced(i - 2, 2) == Acknowledge ? i - 2 : i;
    }
    return quiet ? s.size() : -1;
}

// The length of the command at the start of `s` (which begins with "><"), without a "*" that
// may follow; -1 when more bytes are needed to tell.
qsizetype commandLength(QByteArrayView s, bool quiet)
{
    const auto need = [&](qsizetype n) { return s.size() >= n ? n : (quiet ? s.size() : -1); };
    if (s.size() < 3)
        return need(3);
    switch (s[2]) {
    case 'T':
        if (s.size() < 5)
            return need(5);
        return s[4] == 'T' ? runEnd(s, 5, isDurationChar, quiet) : 5;
    case 'B':
        return runEnd(s, 3, isBatchChar, quiet);
    case 'I':
        if (s.size() < 4)
            return need(4);
        switch (s[3]) {
        case 'P':
        case 'T':
            return runEnd(s, 4, isDigit, quiet);
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
                return star >= 0 ? star : (quiet ? s.size() : -1);
            }
            return 5;
        default:
            return unknownEnd(s, quiet);
        }
    default:
        return unknownEnd(s, quiet);
    }
}

// The end of the command at the start of `s`, with the "*" that may follow it; -1 when more
// bytes are needed to tell. A command that its form ends but that is refused runs on as an
// unknown one does: the console sent it whole, and no tail of it ("-0501" of "><IP-0501") may
// reach the serial line as data.
qsizetype commandEnd(QByteArrayView s, bool quiet)
{
    const auto withStar = [s](qsizetype length) {
        return length < s.size() && s[length] == '*' ? length + 1 : length;
    };
    const qsizetype length = commandLength(s, quiet);
    if (length < 0)
        return -1;
    if (parseTextCommand(s.first(withStar(length))).kind != TextCommand::Kind::Invalid)
        return withStar(length);
    const qsizetype refused = unknownEnd(s, quiet);
    return refused < 0 ? -1 : withStar(refused);
}

// The longest end of `s` that begins "OK><" or "><".
qsizetype partialStartAtEnd(QByteArrayView s)
{
    for (const QByteArrayView prefix :
         {QByteArrayView("OK>"), QByteArrayView("OK"), QByteArrayView("O"), QByteArrayView(">")}) {
        if (s.endsWith(prefix))
            return prefix.size();
    }
    return 0;
}

} // namespace

TextCommand parseTextCommand(QByteArrayView text)
{
    const bool acknowledged = text.startsWith(Acknowledge);
    if (acknowledged)
        text = text.sliced(Acknowledge.size());
    const bool starred = text.endsWith('*');
    if (starred)
        text.chop(1);
    TextCommand command;
    if (!text.startsWith(Start) || text.size() < 3) {
        command = invalid(u"not a command"_s);
    } else if (text.size() > CommandSplitter::MaxCommand) {
        command = invalid(u"too long"_s);
    } else {
        switch (text[2]) {
        case 'T':
            command = parseOutput(text);
            break;
        case 'B':
            command = parseBatch(text);
            break;
        case 'I':
            command = parseSetting(text, starred);
            break;
        default:
            command = invalid(u"unknown command family"_s);
        }
    }
    command.acknowledged = acknowledged;
    return command;
}

QString describe(const TextCommand &command)
{
    QString text;
    switch (command.kind) {
    case TextCommand::Kind::Invalid:
        return u"refused: "_s + command.problem;
    case TextCommand::Kind::Output:
        text = outputName(command.output);
        if (command.action == TextCommand::Action::Timed)
            text += u" on for %1 ms"_s.arg(command.durationMs);
        else
            text += command.action == TextCommand::Action::On ? u" on"_s : u" off"_s;
        break;
    case TextCommand::Kind::Batch:
        text = command.batchOn ? u"batch on: outputs 1-4 on for %1 ms"_s.arg(command.durationMs)
                               : u"batch off: outputs 1-4 off"_s;
        break;
    case TextCommand::Kind::Passage:
        text = u"passage for %1 person(s) within %2 s"_s.arg(command.count).arg(command.seconds);
        break;
    case TextCommand::Kind::ValidationTimeout:
        text = u"validation time-out %1 s, %2 card(s) before offline"_s.arg(command.seconds)
                   .arg(command.count);
        break;
    case TextCommand::Kind::Mode:
        text = u"mode %1"_s.arg(command.mode);
        break;
    case TextCommand::Kind::Direct:
        text = u"direct command, %1 data bytes"_s.arg(command.data.size());
        break;
    case TextCommand::Kind::ReadConfig:
        text = u"configuration read"_s;
        break;
    case TextCommand::Kind::WriteConfig:
        text = u"configuration write: polling %1, remote antennas \"%2\" \"%3\" \"%4\""_s
                   .arg(QLatin1Char(command.polling))
                   .arg(QString::fromLatin1(command.addresses[0]),
                        QString::fromLatin1(command.addresses[1]),
                        QString::fromLatin1(command.addresses[2]));
        break;
    }
    return command.acknowledged ? u"acknowledgement, "_s + text : text;
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
        return u"output %1"_s.arg(output);
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

void CommandSplitter::append(QByteArrayView bytes)
{
    m_stream.append(bytes);
}

CommandSplitter::Item CommandSplitter::next()
{
    const QByteArrayView rest = m_stream.rest();
    if (rest.isEmpty())
        return {};
    const qsizetype start = rest.indexOf(Start);
    if (start < 0) {
        const qsizetype held = m_quiet ? 0 : partialStartAtEnd(rest);
        return rest.size() > held ? take(Status::Data, rest.size() - held) : Item{};
    }
    const bool acknowledged = start >= 2 && rest.sliced(start - 2, 2) == Acknowledge;
    const qsizetype begin = acknowledged ? start - 2 : start;
    if (begin > 0)
        return take(Status::Data, begin);

    const qsizetype end = commandEnd(rest.sliced(start), m_quiet);
    if (end < 0) {
        // Still incomplete: hold it, unless it has outgrown any command.
        return rest.size() > MaxCommand ? take(Status::Command, MaxCommand) : Item{};
    }
    return take(Status::Command, qMin(start + end, MaxCommand + 2));
}

QList<CommandSplitter::Item> CommandSplitter::flush()
{
    QList<Item> items;
    m_quiet = true;
    for (Item item = next(); item.status != Status::NeedMore; item = next())
        items.append(item);
    m_quiet = false;
    return items;
}

CommandSplitter::Item CommandSplitter::take(Status status, qsizetype count)
{
    return {status, m_stream.take(count)};
}

} // namespace kalveno::sim
