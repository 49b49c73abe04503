#pragma once

#include "widgets/terminalkeys.h"
#include "widgets/terminaltext.h"

#include <QList>

#include <array>

namespace kalveno {

// The rows in which a terminal shows its text, and which of them are in view. Each block of the
// text wraps on its own at the width, each byte as wide as its advance: a row breaks after the
// last space that fits, or where the next byte no longer fits, and holds at least one byte. Rows
// are found from the text's blocks whenever they are asked for, so nothing is kept up to date as
// the text changes. The view follows the end, showing the last rows that fit, until it is
// scrolled away from there; then it keeps a position in its top row. It needs no window: only
// the bytes' advances, the width and how many rows a page holds.
class TerminalLayout
{
public:
    // One row: shown bytes [start, visibleEnd), the next row from next on.
    struct Row
    {
        qsizetype start = 0;
        qsizetype visibleEnd = 0;
        qsizetype next = 0;
        bool last = true;

        bool operator==(const Row &) const = default;
    };
    using Rows = QList<Row>;

    explicit TerminalLayout(const TerminalText &text);

    void setAdvances(const std::array<qreal, 256> &advances) { m_advance = advances; }
    qreal advance(uchar byte) const { return m_advance[byte]; }
    // The width the rows wrap at, and how many whole rows a page shows (at least one).
    void setSize(qreal width, int pageRows);
    int pageRows() const { return m_pageRows; }

    // `count` rows from the one that holds position, fewer at the end of the text.
    Rows rowsFrom(qsizetype position, int count) const;
    // The `count` rows before the one that starts at rowStart, fewer at the start of the text.
    Rows rowsBefore(qsizetype rowStart, int count) const;
    Row rowAt(qsizetype position) const;
    // How far into its row a position lies, and the position nearest to a distance into a row.
    qreal xOf(const Row &row, qsizetype position) const;
    qsizetype positionAt(const Row &row, qreal x) const;
    // Where a move takes the caret from position. Up and down keep it at a distance `x` into
    // the row (where it stands when x is negative), and give x back; a page also scrolls the
    // view by a page. The other moves set x to -1.
    qsizetype moved(qsizetype position, terminalkeys::Move move, qreal &x);

    // Following the end, the last whole rows that fit; else the rows from the top one on, and
    // one more partly shown.
    Rows visibleRows() const;
    // Follows the end again, as for a text that is replaced whole.
    void followEnd();
    // Moves the view by rows, up when negative; down to the end, it follows the end again.
    void scrollRows(int delta);
    // Moves the view as little as needed to show the row that holds position.
    void ensureVisible(qsizetype position);
    // Follows the end again once the rows from the top no longer fill a page.
    void settle();
    // Bytes [from, to) were replaced by `inserted` bytes: the top row keeps its text.
    void edited(qsizetype from, qsizetype to, qsizetype inserted);
    // The first `count` bytes were dropped.
    void dropped(qsizetype count);

private:
    // Where the rows of a block start.
    QList<qsizetype> wrap(const TerminalText::Block &block) const;
    static Row rowOf(const TerminalText::Block &block, const QList<qsizetype> &starts,
                     qsizetype index);

    const TerminalText &m_text;
    std::array<qreal, 256> m_advance{};
    qreal m_width = 1;
    int m_pageRows = 1;
    bool m_followEnd = true;
    // While not following the end: a position in the first row shown.
    qsizetype m_top = 0;
};

} // namespace kalveno
