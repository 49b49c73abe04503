#include "terminallayout.h"

#include <algorithm>

namespace kalveno {

namespace {

bool separatesWords(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

TerminalLayout::TerminalLayout(const TerminalText &text)
    : m_text(text)
{}

void TerminalLayout::setSize(qreal width, int pageRows)
{
    m_width = qMax<qreal>(1, width);
    m_pageRows = qMax(1, pageRows);
}

QList<qsizetype> TerminalLayout::wrap(const TerminalText::Block &block) const
{
    // A space at the edge stays with its row.
    QList<qsizetype> starts{block.start};
    const char *data = m_text.bytes().constData();
    qreal x = 0;
    qsizetype rowStart = block.start;
    qsizetype afterSpace = -1;
    for (qsizetype i = block.start; i < block.visibleEnd; ++i) {
        const auto byte = uchar(data[i]);
        const qreal w = advance(byte);
        if (x + w > m_width && i > rowStart) {
            if (byte == ' ') {
                if (i + 1 < block.visibleEnd) {
                    rowStart = i + 1;
                    starts.append(rowStart);
                    afterSpace = -1;
                    x = 0;
                }
                continue;
            }
            rowStart = afterSpace > rowStart ? afterSpace : i;
            starts.append(rowStart);
            afterSpace = -1;
            x = 0;
            for (qsizetype j = rowStart; j < i; ++j)
                x += advance(uchar(data[j]));
        }
        x += w;
        if (byte == ' ')
            afterSpace = i + 1;
    }
    return starts;
}

TerminalLayout::Row TerminalLayout::rowOf(const TerminalText::Block &block,
                                          const QList<qsizetype> &starts, qsizetype index)
{
    const bool lastInBlock = index + 1 == starts.size();
    Row row;
    row.start = starts[index];
    row.visibleEnd = lastInBlock ? block.visibleEnd : starts[index + 1];
    row.next = lastInBlock ? block.end : starts[index + 1];
    row.last = lastInBlock && block.last;
    return row;
}

TerminalLayout::Rows TerminalLayout::rowsFrom(qsizetype position, int count) const
{
    Rows rows;
    TerminalText::Block block = m_text.blockAt(position);
    QList<qsizetype> starts = wrap(block);
    qsizetype i = std::upper_bound(starts.cbegin(), starts.cend(), position) - starts.cbegin() - 1;
    for (;;) {
        for (; i < starts.size(); ++i) {
            if (rows.size() == count)
                return rows;
            rows.append(rowOf(block, starts, i));
        }
        if (block.last)
            return rows;
        block = m_text.blockFrom(block.end);
        starts = wrap(block);
        i = 0;
    }
}

TerminalLayout::Rows TerminalLayout::rowsBefore(qsizetype rowStart, int count) const
{
    Rows rows;
    TerminalText::Block block = m_text.blockAt(rowStart);
    QList<qsizetype> starts = wrap(block);
    qsizetype i = std::lower_bound(starts.cbegin(), starts.cend(), rowStart) - starts.cbegin();
    while (rows.size() < count) {
        if (i > 0) {
            --i;
            rows.append(rowOf(block, starts, i));
            continue;
        }
        if (block.start == 0)
            break;
        block = m_text.blockAt(block.start - 1);
        starts = wrap(block);
        i = starts.size();
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
}

TerminalLayout::Row TerminalLayout::rowAt(qsizetype position) const
{
    const TerminalText::Block block = m_text.blockAt(position);
    const QList<qsizetype> starts = wrap(block);
    return rowOf(block, starts,
                 std::upper_bound(starts.cbegin(), starts.cend(), position) - starts.cbegin() - 1);
}

qreal TerminalLayout::xOf(const Row &row, qsizetype position) const
{
    const char *data = m_text.bytes().constData();
    qreal x = 0;
    for (qsizetype i = row.start; i < qMin(position, row.visibleEnd); ++i)
        x += advance(uchar(data[i]));
    return x;
}

qsizetype TerminalLayout::positionAt(const Row &row, qreal x) const
{
    const char *data = m_text.bytes().constData();
    qreal left = 0;
    for (qsizetype i = row.start; i < row.visibleEnd; ++i) {
        const qreal w = advance(uchar(data[i]));
        if (x < left + w / 2)
            return i;
        left += w;
    }
    return row.visibleEnd;
}

qsizetype TerminalLayout::moved(qsizetype position, terminalkeys::Move move, qreal &x)
{
    using terminalkeys::Move;
    const char *data = m_text.bytes().constData();
    const qsizetype size = m_text.size();
    // A word is looked for no further than the blocks around the caret.
    const qsizetype reach = 2 * TerminalText::BlockSize;
    qsizetype target = position;
    const bool vertical = move == Move::RowUp || move == Move::RowDown || move == Move::PageUp ||
                          move == Move::PageDown;
    if (!vertical)
        x = -1;
    switch (move) {
    case Move::None:
        break;
    case Move::Left:
        target -= (target >= 2 && data[target - 2] == '\r' && data[target - 1] == '\n') ? 2
                  : target > 0                                                          ? 1
                                                                                        : 0;
        break;
    case Move::Right:
        target += (target + 1 < size && data[target] == '\r' && data[target + 1] == '\n') ? 2
                  : target < size                                                         ? 1
                                                                                          : 0;
        break;
    case Move::WordLeft: {
        const qsizetype low = qMax<qsizetype>(0, position - reach);
        while (target > low && separatesWords(data[target - 1]))
            --target;
        while (target > low && !separatesWords(data[target - 1]))
            --target;
        break;
    }
    case Move::WordRight: {
        const qsizetype high = qMin(size, position + reach);
        while (target < high && !separatesWords(data[target]))
            ++target;
        while (target < high && separatesWords(data[target]))
            ++target;
        break;
    }
    case Move::RowStart:
        target = rowAt(position).start;
        break;
    case Move::RowEnd:
        target = rowAt(position).visibleEnd;
        break;
    case Move::TextStart:
        target = 0;
        break;
    case Move::TextEnd:
        target = size;
        break;
    case Move::RowUp:
    case Move::RowDown:
    case Move::PageUp:
    case Move::PageDown: {
        const bool up = move == Move::RowUp || move == Move::PageUp;
        const bool page = move == Move::PageUp || move == Move::PageDown;
        const int count = page ? m_pageRows : 1;
        const Row row = rowAt(position);
        if (x < 0)
            x = xOf(row, position);
        Row destination = row;
        if (up) {
            const Rows above = rowsBefore(row.start, count);
            if (!above.isEmpty())
                destination = above.first();
        } else {
            destination = rowsFrom(row.start, count + 1).last();
        }
        if (page)
            scrollRows(up ? -count : count);
        target = positionAt(destination, x);
        break;
    }
    }
    return target;
}

TerminalLayout::Rows TerminalLayout::visibleRows() const
{
    if (!m_followEnd) {
        const Rows rows = rowsFrom(m_top, m_pageRows + 1);
        if (rows.size() > m_pageRows)
            return rows;
    }
    const Row last = rowAt(m_text.size());
    Rows rows = rowsBefore(last.start, m_pageRows - 1);
    rows.append(last);
    return rows;
}

void TerminalLayout::followEnd()
{
    m_followEnd = true;
    m_top = 0;
}

void TerminalLayout::settle()
{
    if (!m_followEnd && rowsFrom(m_top, m_pageRows + 1).size() <= m_pageRows)
        m_followEnd = true;
}

void TerminalLayout::scrollRows(int delta)
{
    const qsizetype top = visibleRows().first().start;
    if (delta < 0) {
        const Rows above = rowsBefore(top, -delta);
        if (above.isEmpty())
            return;
        m_top = above.first().start;
        m_followEnd = false;
    } else if (delta > 0 && !m_followEnd) {
        const Rows below = rowsFrom(top, delta + m_pageRows + 1);
        if (below.size() <= delta + m_pageRows)
            m_followEnd = true;
        else
            m_top = below[delta].start;
    }
}

void TerminalLayout::ensureVisible(qsizetype position)
{
    const Rows rows = visibleRows();
    const qsizetype row = rowAt(position).start;
    if (row < rows.first().start) {
        m_top = row;
        m_followEnd = false;
    } else if (row > rows[qMin<qsizetype>(m_pageRows, rows.size()) - 1].start) {
        const Rows above = rowsBefore(row, m_pageRows - 1);
        m_top = above.isEmpty() ? row : above.first().start;
        m_followEnd = false;
    }
    settle();
}

void TerminalLayout::edited(qsizetype from, qsizetype to, qsizetype inserted)
{
    if (m_top >= to)
        m_top += inserted - (to - from);
    else if (m_top > from)
        m_top = from;
}

void TerminalLayout::dropped(qsizetype count)
{
    m_top = qMax<qsizetype>(0, m_top - count);
}

} // namespace kalveno
