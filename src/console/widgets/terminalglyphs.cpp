#include "terminalglyphs.h"

#include <QFontMetricsF>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

constexpr const char *ControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                          "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                          "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                          "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

char16_t shownCharacter(uchar byte)
{
    if (byte < 32)
        return char16_t(0x2400 + byte);
    if (byte == 127)
        return 0x2421;
    return byte;
}

// Latin-1 gives the bytes 128 to 159 no character, and the soft hyphen none that is drawn.
bool hasNoPrintedForm(uchar byte)
{
    return (byte >= 0x80 && byte < 0xa0) || byte == 0xad;
}

QFont abbreviationFont(const QFont &font)
{
    QFont small = font;
    if (font.pixelSize() > 0)
        small.setPixelSize(qMax(6, font.pixelSize() * 3 / 4));
    else
        small.setPointSizeF(qMax(5.0, font.pointSizeF() * 0.75));
    return small;
}

} // namespace

QString TerminalGlyphs::abbreviation(uchar byte)
{
    if (byte < 32)
        return QString::fromLatin1(ControlNames[byte]);
    if (byte == 127)
        return u"DEL"_s;
    if (byte == 0xad)
        return u"SHY"_s;
    return QString::number(byte, 16).toUpper();
}

void TerminalGlyphs::setFont(const QFont &font)
{
    m_font = font;
    m_font.setKerning(false);
    const QFontMetricsF metrics(m_font);
    const QFontMetricsF labels(abbreviationFont(m_font));
    m_ascent = qCeil(metrics.ascent());
    m_rowHeight = qMax(1, m_ascent + qCeil(metrics.descent()) + qRound(metrics.leading()));
    for (int b = 0; b < 256; ++b) {
        const auto byte = uchar(b);
        const char16_t c = shownCharacter(byte);
        const qreal width = metrics.horizontalAdvance(QChar(c));
        if (!hasNoPrintedForm(byte) && metrics.inFontUcs4(c) && width > 0) {
            m_character[b] = c;
            m_advance[b] = width;
        } else {
            m_character[b] = 0;
            m_advance[b] = qCeil(labels.horizontalAdvance(abbreviation(byte))) + 4;
        }
    }
    forgetPictures();
}

void TerminalGlyphs::drawRow(QPainter &painter, const QByteArray &text,
                             const TerminalLayout::Row &row, QPointF at, qsizetype selFrom,
                             qsizetype selTo, const Ink &ink)
{
    const char *data = text.constData();
    const qreal ratio = painter.device()->devicePixelRatioF();
    const auto selected = [selFrom, selTo](qsizetype i) { return i >= selFrom && i < selTo; };
    qreal x = at.x();
    const qreal y = at.y();
    QString run;
    qsizetype i = row.start;
    while (i < row.visibleEnd) {
        const bool inSelection = selected(i);
        const auto byte = uchar(data[i]);
        if (m_character[byte] == 0) {
            if (inSelection)
                painter.fillRect(QRectF(x, y, advance(byte), m_rowHeight), ink.highlight);
            painter.drawPixmap(
                QPointF(x, y),
                picture(byte, inSelection, inSelection ? ink.selectedText : ink.text, ratio));
            x += advance(byte);
            ++i;
            continue;
        }
        // A run of characters that the font draws, all in or all out of the selection.
        run.clear();
        qreal width = 0;
        for (; i < row.visibleEnd && m_character[uchar(data[i])] != 0 && selected(i) == inSelection;
             ++i) {
            run += QChar(m_character[uchar(data[i])]);
            width += advance(uchar(data[i]));
        }
        if (inSelection)
            painter.fillRect(QRectF(x, y, width, m_rowHeight), ink.highlight);
        painter.setPen(inSelection ? ink.selectedText : ink.text);
        painter.drawText(QPointF(x, y + m_ascent), run);
        x += width;
    }
    if (row.visibleEnd < row.next && selected(row.visibleEnd))
        painter.fillRect(QRectF(x, y, advance(' '), m_rowHeight), ink.highlight);
}

const QPixmap &TerminalGlyphs::picture(uchar byte, bool selected, const QColor &ink, qreal ratio)
{
    QPixmap &picture = m_pictures[byte + (selected ? 256 : 0)];
    if (!picture.isNull())
        return picture;
    const QSizeF size(advance(byte), m_rowHeight);
    picture = QPixmap((size * ratio).toSize());
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QColor frame = ink;
    frame.setAlphaF(0.4f);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(frame);
    painter.drawRoundedRect(QRectF(1.5, 1.5, size.width() - 3, size.height() - 3), 2, 2);
    painter.setPen(ink);
    painter.setFont(abbreviationFont(m_font));
    painter.drawText(QRectF(QPointF(0, 0), size), Qt::AlignCenter, abbreviation(byte));
    return picture;
}

} // namespace kalveno
