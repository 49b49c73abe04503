#include "commandsplitter.h"

#include "protocol/textcommand.h"

namespace kalveno::sim {

namespace {

using textcommand::Acknowledge;
using textcommand::MaxLength;
using textcommand::Start;

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

    const qsizetype end = textcommand::extent(rest, !m_quiet);
    if (end < 0) {
        // Still incomplete: hold it, unless it has outgrown any command.
        return rest.size() > MaxLength ? take(Status::Command, MaxLength) : Item{};
    }
    return take(Status::Command, qMin(end, MaxLength + 2));
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
