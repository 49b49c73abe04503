#include "terminaltext.h"

#include <cstring>
#include <functional>

namespace kalveno {

namespace {

bool isLineEndByte(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

void TerminalText::assign(const QByteArray &bytes)
{
    m_origin = 0;
    m_bytes = bytes;
}

bool TerminalText::replace(qsizetype from, qsizetype to, QByteArrayView with)
{
    if (to - from == with.size() && QByteArrayView(m_bytes).sliced(from, to - from) == with)
        return false;
    // Bytes taken from the text itself would not survive making room for them.
    const char *begin = m_bytes.constData();
    if (std::less_equal<>()(begin, with.data()) &&
        std::less<>()(with.data(), begin + m_bytes.size()))
        return replace(from, to, QByteArrayView(with.toByteArray()));
    if (from == m_bytes.size())
        m_bytes.append(with);
    else
        m_bytes.replace(from, to - from, with);
    return true;
}

bool TerminalText::replace(qsizetype from, qsizetype to, QStringView latin1)
{
    if (from != to || to != m_bytes.size())
        return replace(from, to, QByteArrayView(latin1.toLatin1()));
    if (latin1.isEmpty())
        return false;
    // At the end, where pastes go, a large text is converted piece by piece straight into the
    // buffer, without a copy of the whole.
    if (m_bytes.capacity() < m_bytes.size() + latin1.size())
        m_bytes.reserve(m_bytes.size() + latin1.size());
    constexpr qsizetype Piece = 64 * 1024;
    for (qsizetype at = 0; at < latin1.size(); at += Piece)
        m_bytes.append(latin1.sliced(at, qMin(Piece, latin1.size() - at)).toLatin1());
    return true;
}

qsizetype TerminalText::trim()
{
    if (m_limit <= 0 || m_bytes.size() <= m_limit)
        return 0;
    const qsizetype keep = m_limit - m_limit / 8;
    qsizetype cut = m_bytes.size() - keep;
    const Block block = blockAt(cut);
    // Whole blocks go, unless the block runs on to (nearly) the end: then a line longer than the
    // limit keeps its tail rather than going whole.
    if (block.start != cut && !block.last && m_bytes.size() - block.end >= m_limit / 2)
        cut = block.end;
    // Moved within the buffer, which keeps its size: no second buffer, no fresh memory.
    char *data = m_bytes.data();
    std::memmove(data, data + cut, m_bytes.size() - cut);
    m_bytes.truncate(m_bytes.size() - cut);
    m_origin += cut;
    return cut;
}

bool TerminalText::endsLine(qsizetype i) const
{
    const char c = m_bytes.at(i);
    // A CR at the very end ends the line until an LF arrives to pair with it.
    return c == '\n' || (c == '\r' && (i + 1 == m_bytes.size() || m_bytes.at(i + 1) != '\n'));
}

qsizetype TerminalText::blockStart(qsizetype position) const
{
    // The last cut at or before position, as a position (negative when it lies in dropped text).
    const qint64 absolute = m_origin + position;
    const qsizetype cut = qsizetype(absolute - absolute % BlockSize - m_origin);
    const qsizetype low = qMax<qsizetype>(0, cut - BlockSize);
    for (qsizetype i = position - 1; i >= low; --i) {
        if (endsLine(i))
            return i + 1;
    }
    // The line started at low or before, so the cut lies BlockSize or more into it, unless the
    // line is the text's first and starts at 0.
    if (cut - BlockSize < 0)
        return 0;
    if (cut < m_bytes.size() && !isLineEndByte(m_bytes.at(cut)))
        return cut;
    // No cut where the line or the text ends: the block runs on from an earlier one.
    return blockStart(cut - 1);
}

TerminalText::Block TerminalText::blockFrom(qsizetype start) const
{
    Block block;
    block.start = start;
    // The first cut at least BlockSize past the block's start.
    const qint64 absolute = m_origin + start + 2 * BlockSize - 1;
    const qsizetype cut = qsizetype(absolute - absolute % BlockSize - m_origin);
    const qsizetype size = m_bytes.size();
    const char *data = m_bytes.constData();
    qsizetype i = start;
    const qsizetype stop = qMin(cut, size);
    while (i < stop && !isLineEndByte(data[i]))
        ++i;
    if (i == stop && !(i < size && isLineEndByte(data[i]))) {
        block.visibleEnd = block.end = stop;
        block.last = stop == size;
        return block;
    }
    block.visibleEnd = i;
    block.end = (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ? i + 2 : i + 1;
    block.last = false;
    return block;
}

TerminalText::Block TerminalText::blockAt(qsizetype position) const
{
    return blockFrom(blockStart(qBound<qsizetype>(0, position, m_bytes.size())));
}

} // namespace kalveno
