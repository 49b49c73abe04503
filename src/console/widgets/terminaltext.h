#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

namespace kalveno {

// The exact bytes of a terminal and the blocks its display is made of, with no index to keep up
// to date: one byte of memory per byte held.
//
// A line ends at LF, or at a CR that no LF follows; the CR of a CR LF pair ends the line with
// its LF. So that a line without breaks costs no more to lay out than a short one, the display
// also cuts a line at every multiple of BlockSize (counted from the first byte ever held since
// the text was last replaced whole) that lies at least BlockSize bytes into the line, unless
// the line ends there. A block, the stretch between two cuts or line ends, wraps on its own,
// and finding the block around any position reads at most three blocks' worth of bytes.
class TerminalText
{
public:
    static constexpr qsizetype BlockSize = 4096;

    struct Block
    {
        qsizetype start = 0;
        // Where the shown bytes end: before the CR LF, LF or CR that ends the line.
        qsizetype visibleEnd = 0;
        // Where the next block starts.
        qsizetype end = 0;
        // The text's last block; it has no line end and its end is the text's end.
        bool last = true;
    };

    const QByteArray &bytes() const { return m_bytes; }
    qsizetype size() const { return m_bytes.size(); }

    // The most bytes the text keeps (0: no limit); trim() applies it.
    void setLimit(qsizetype limit) { m_limit = limit; }

    void assign(const QByteArray &bytes);
    // Replaces bytes [from, to) by the given bytes; false when that leaves the text as it was.
    bool replace(qsizetype from, qsizetype to, QByteArrayView with);
    // The same with text taken as Latin-1 (characters beyond it become '?').
    bool replace(qsizetype from, qsizetype to, QStringView latin1);
    // Once the text holds more than the limit, drops the oldest blocks, down to a little under
    // the limit so that the bytes kept move only once in a while. Returns the number of bytes
    // dropped from the front.
    qsizetype trim();

    // The block that holds position (0 to size(); a position on a line end belongs to the
    // block that the line end closes).
    Block blockAt(qsizetype position) const;
    // The block that starts at start, which must be a block's start.
    Block blockFrom(qsizetype start) const;

private:
    bool endsLine(qsizetype i) const;
    qsizetype blockStart(qsizetype position) const;

    QByteArray m_bytes;
    qsizetype m_limit = 0;
    // Bytes dropped from the front since the text was last assigned: cuts stay where they were.
    qint64 m_origin = 0;
};

} // namespace kalveno
