#pragma once

#include "widgets/terminallayout.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

#include <array>

class QPainter;

namespace kalveno {

// How a terminal draws each byte in its font: as the character the font has for it (a control
// picture for a control byte, Latin-1 for the others), or, where the font has none and for the
// bytes Latin-1 gives no printed form (128 to 159, the soft hyphen), as a small framed
// abbreviation. Each byte has its own advance, kerning off, so that the bytes stay where the
// layout put them; rows are as high as the old text box made its lines. It needs a font, not a
// window.
class TerminalGlyphs
{
public:
    // The colours a row is drawn in.
    struct Ink
    {
        QColor text;
        QColor selectedText;
        QBrush highlight;
    };

    void setFont(const QFont &font);
    const QFont &font() const { return m_font; }
    const std::array<qreal, 256> &advances() const { return m_advance; }
    qreal advance(uchar byte) const { return m_advance[byte]; }
    // The character drawn for a byte, or 0 for a byte drawn as its framed abbreviation.
    char16_t character(uchar byte) const { return m_character[byte]; }
    int rowHeight() const { return m_rowHeight; }

    // The abbreviation framed for a byte the font cannot show: "NUL", "DEL", "SHY", "85"...
    static QString abbreviation(uchar byte);

    // Draws a row of `text` at `at` (its left edge and top), bytes [selFrom, selTo) selected; a
    // selected line end shows as a space's width of highlight after the row.
    void drawRow(QPainter &painter, const QByteArray &text, const TerminalLayout::Row &row,
                 QPointF at, qsizetype selFrom, qsizetype selTo, const Ink &ink);
    // The colours changed: the framed abbreviations are drawn anew.
    void forgetPictures() { m_pictures.fill(QPixmap()); }

private:
    const QPixmap &picture(uchar byte, bool selected, const QColor &ink, qreal ratio);

    QFont m_font;
    int m_rowHeight = 1;
    int m_ascent = 0;
    std::array<qreal, 256> m_advance{};
    std::array<char16_t, 256> m_character{};
    // The framed abbreviations drawn so far, unselected and selected.
    std::array<QPixmap, 512> m_pictures;
};

} // namespace kalveno
