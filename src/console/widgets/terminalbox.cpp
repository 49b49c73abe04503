#include "terminalbox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// As the old text box's document margin, so that the test view's legend and display still run
// side by side, line for line.
constexpr int Margin = 4;
constexpr int AutoScrollMs = 50;

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

// The abbreviation drawn, framed, for a byte whose character the font cannot show.
QString pictureLabel(uchar byte)
{
    if (byte < 32)
        return QString::fromLatin1(ControlNames[byte]);
    if (byte == 127)
        return u"DEL"_s;
    if (byte == 0xad)
        return u"SHY"_s;
    return QString::number(byte, 16).toUpper();
}

QFont pictureFont(const QFont &font)
{
    QFont small = font;
    if (font.pixelSize() > 0)
        small.setPixelSize(qMax(6, font.pixelSize() * 3 / 4));
    else
        small.setPointSizeF(qMax(5.0, font.pointSizeF() * 0.75));
    return small;
}

bool separatesWords(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

TerminalBox::TerminalBox(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    // The window's design has no scroll bars; the wheel and the keys scroll the box.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
}

void TerminalBox::setBytes(const QByteArray &bytes)
{
    if (bytes == m_text.bytes())
        return;
    m_text.assign(bytes);
    m_anchor = m_caret = m_text.size();
    m_followEnd = true;
    m_top = 0;
    m_desiredX = -1;
    m_selecting = false;
    trimToLimit();
    restartBlink();
    Q_EMIT changed();
}

void TerminalBox::append(QByteArrayView chunk)
{
    if (chunk.isEmpty())
        return;
    m_text.replace(m_text.size(), m_text.size(), chunk);
    m_anchor = m_caret = m_text.size();
    m_desiredX = -1;
    m_selecting = false;
    m_autoScroll.stop();
    trimToLimit();
    m_caretShown = true;
    paintSoon();
    Q_EMIT changed();
}

void TerminalBox::paintSoon()
{
    // In a flood a chunk comes every few hundred microseconds; painting after each would cost
    // more than taking the bytes in. The first chunk after a quiet spell still shows at once.
    constexpr int FrameMs = 16;
    if (m_paintLater.isActive())
        return;
    const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : FrameMs;
    if (since >= FrameMs)
        viewport()->update();
    else
        m_paintLater.start(int(FrameMs - since), this);
}

void TerminalBox::setByteLimit(qsizetype limit)
{
    m_text.setLimit(qMax<qsizetype>(0, limit));
    const qsizetype before = m_text.size();
    trimToLimit();
    if (m_text.size() != before) {
        viewport()->update();
        Q_EMIT changed();
    }
}

void TerminalBox::trimToLimit()
{
    const qsizetype cut = m_text.trim();
    if (cut == 0)
        return;
    const auto shifted = [cut](qsizetype position) { return qMax<qsizetype>(0, position - cut); };
    m_caret = shifted(m_caret);
    m_anchor = shifted(m_anchor);
    m_top = shifted(m_top);
}

TerminalBox::Action TerminalBox::actionOf(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const int key = event->key();
    if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        switch (key) {
        case Qt::Key_A:
            return Action::SelectAll;
        case Qt::Key_C:
            return Action::Copy;
        case Qt::Key_V:
            return Action::Paste;
        case Qt::Key_X:
            return Action::Cut;
        default:
            return Action::None;
        }
    }
    if (modifiers == Qt::ControlModifier && key == Qt::Key_Insert)
        return Action::Copy;
    if (modifiers == Qt::ShiftModifier && key == Qt::Key_Insert)
        return Action::Paste;
    if (modifiers == Qt::ShiftModifier && key == Qt::Key_Delete)
        return Action::Cut;
    return Action::None;
}

int TerminalBox::keyCode(const QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (actionOf(event) != Action::None)
        return 0;
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return key - Qt::Key_A + 1;
        // Ctrl+[ \ ] ^ _ give 27 to 31, as on a terminal.
        if (key >= Qt::Key_BracketLeft && key <= Qt::Key_Underscore)
            return key - Qt::Key_At;
        // Line feed and DEL, as the old text box gave them.
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return 10;
        if (key == Qt::Key_Backspace)
            return 127;
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return 0;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() != 1)
        return 0;
    const char16_t c = text[0].unicode();
    return (c < 32 || c == 127 || c > 255) ? 0 : c;
}

bool TerminalBox::event(QEvent *event)
{
    // A key that gives a byte, or that the terminal takes for itself, belongs to the terminal,
    // not to a shortcut of the window.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (keyCode(key) != 0 || actionOf(key) != Action::None) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TerminalBox::keyPressEvent(QKeyEvent *event)
{
    switch (actionOf(event)) {
    case Action::SelectAll:
        selectAll();
        return;
    case Action::Copy:
        copy();
        return;
    case Action::Cut:
        cut();
        return;
    case Action::Paste:
        paste();
        return;
    case Action::None:
        break;
    }
    int code = keyCode(event);
    if (code != 0) {
        event->accept();
        if (m_keyPressHook)
            m_keyPressHook(code);
        if (code != 0)
            typeKey(code);
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        deleteForward();
        return;
    }
    if (moveByKey(event)) {
        event->accept();
        return;
    }
    event->ignore();
}

void TerminalBox::typeKey(int code)
{
    switch (code) {
    case 8:
        deleteBackward();
        return;
    case 10:
        replaceSelection("\n");
        return;
    case 13:
        replaceSelection("\r\n");
        return;
    default:
        break;
    }
    // The other control codes are sent but leave the text as it is: a key that sends a byte
    // does nothing else, so Ctrl+A does not select the text that the next echoed key replaces.
    if (code == '\t' || (code >= 32 && code <= 255)) {
        const char byte = char(code);
        replaceSelection(QByteArrayView(&byte, 1));
    }
}

bool TerminalBox::moveByKey(const QKeyEvent *event)
{
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const char *data = m_text.bytes().constData();
    const qsizetype size = m_text.size();
    const qsizetype from = qMin(m_anchor, m_caret);
    const qsizetype to = qMax(m_anchor, m_caret);
    const qsizetype reach = 2 * TerminalText::BlockSize;
    qsizetype target = m_caret;
    qreal keepX = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        if (!extend && from != to) {
            target = from;
        } else if (ctrl) {
            const qsizetype low = qMax<qsizetype>(0, m_caret - reach);
            while (target > low && separatesWords(data[target - 1]))
                --target;
            while (target > low && !separatesWords(data[target - 1]))
                --target;
        } else if (target >= 2 && data[target - 2] == '\r' && data[target - 1] == '\n') {
            target -= 2;
        } else if (target > 0) {
            --target;
        }
        break;
    case Qt::Key_Right:
        if (!extend && from != to) {
            target = to;
        } else if (ctrl) {
            const qsizetype high = qMin(size, m_caret + reach);
            while (target < high && !separatesWords(data[target]))
                ++target;
            while (target < high && separatesWords(data[target]))
                ++target;
        } else if (target + 1 < size && data[target] == '\r' && data[target + 1] == '\n') {
            target += 2;
        } else if (target < size) {
            ++target;
        }
        break;
    case Qt::Key_Home:
        target = ctrl ? 0 : rowAt(m_caret).start;
        break;
    case Qt::Key_End:
        target = ctrl ? size : rowAt(m_caret).visibleEnd;
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const bool up = event->key() == Qt::Key_Up || event->key() == Qt::Key_PageUp;
        const bool page = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown;
        const int count = page ? rowsPerPage() : 1;
        const Row row = rowAt(m_caret);
        keepX = m_desiredX >= 0 ? m_desiredX : xOf(row, m_caret);
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
        target = positionAt(destination, keepX);
        break;
    }
    default:
        return false;
    }
    moveCaret(target, extend);
    m_desiredX = keepX;
    if (extend)
        updateSelectionClipboard();
    return true;
}

void TerminalBox::moveCaret(qsizetype position, bool keepAnchor)
{
    m_caret = position;
    if (!keepAnchor)
        m_anchor = position;
    m_desiredX = -1;
    ensureCaretVisible();
    restartBlink();
}

void TerminalBox::replaceSelection(QByteArrayView with)
{
    replaceRange(qMin(m_anchor, m_caret), qMax(m_anchor, m_caret), with);
}

void TerminalBox::replaceRange(qsizetype from, qsizetype to, QByteArrayView with)
{
    afterEdit(from, to, with.size(), m_text.replace(from, to, with));
}

void TerminalBox::paste()
{
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    if (!m_pasteHook) {
        const qsizetype from = qMin(m_anchor, m_caret);
        const qsizetype to = qMax(m_anchor, m_caret);
        afterEdit(from, to, text.size(), m_text.replace(from, to, QStringView(text)));
        return;
    }
    // One byte per character, as typed keys give them; what has no byte goes as '?', on the
    // line and on the screen alike.
    if (m_pasteDone == m_pasting.size()) {
        m_pasting.clear();
        m_pasteDone = 0;
    }
    m_pasting += text.toLatin1();
    if (!m_pasteTimer.isActive())
        m_pasteTimer.start(0, this);
}

void TerminalBox::pasteNextChunk()
{
    const QByteArray chunk = m_pasting.mid(m_pasteDone, PasteChunkSize);
    bool echo = true;
    const bool sent = m_pasteHook({chunk, m_pasteDone, m_pasting.size()}, echo);
    if (sent && echo)
        replaceSelection(chunk);
    m_pasteDone = sent ? m_pasteDone + chunk.size() : m_pasting.size();
    if (m_pasteDone == m_pasting.size()) {
        m_pasteTimer.stop();
        m_pasting.clear();
        m_pasteDone = 0;
    }
}

void TerminalBox::afterEdit(qsizetype from, qsizetype to, qsizetype inserted, bool changedText)
{
    if (m_top >= to)
        m_top += inserted - (to - from);
    else if (m_top > from)
        m_top = from;
    m_anchor = m_caret = from + inserted;
    m_desiredX = -1;
    if (changedText)
        trimToLimit();
    ensureCaretVisible();
    restartBlink();
    if (changedText)
        Q_EMIT changed();
}

void TerminalBox::deleteBackward()
{
    qsizetype from = qMin(m_anchor, m_caret);
    const qsizetype to = qMax(m_anchor, m_caret);
    if (from == to) {
        if (from == 0)
            return;
        const QByteArray &b = m_text.bytes();
        from -= (from >= 2 && b[from - 2] == '\r' && b[from - 1] == '\n') ? 2 : 1;
    }
    replaceRange(from, to, {});
}

void TerminalBox::deleteForward()
{
    const qsizetype from = qMin(m_anchor, m_caret);
    qsizetype to = qMax(m_anchor, m_caret);
    if (from == to) {
        const QByteArray &b = m_text.bytes();
        if (to == b.size())
            return;
        to += (to + 1 < b.size() && b[to] == '\r' && b[to + 1] == '\n') ? 2 : 1;
    }
    replaceRange(from, to, {});
}

void TerminalBox::cut()
{
    if (m_anchor == m_caret)
        return;
    copy();
    replaceSelection({});
}

void TerminalBox::setSelection(qsizetype anchor, qsizetype caret)
{
    m_anchor = qBound<qsizetype>(0, anchor, m_text.size());
    moveCaret(qBound<qsizetype>(0, caret, m_text.size()), true);
}

QByteArray TerminalBox::selectedBytes() const
{
    const qsizetype from = qMin(m_anchor, m_caret);
    return m_text.bytes().mid(from, qMax(m_anchor, m_caret) - from);
}

void TerminalBox::selectAll()
{
    setSelection(0, m_text.size());
}

void TerminalBox::copy() const
{
    if (m_anchor != m_caret)
        QApplication::clipboard()->setText(QString::fromLatin1(selectedBytes()));
}

void TerminalBox::updateSelectionClipboard() const
{
    QClipboard *clipboard = QApplication::clipboard();
    if (m_anchor != m_caret && clipboard->supportsSelection())
        clipboard->setText(QString::fromLatin1(selectedBytes()), QClipboard::Selection);
}

QMenu *TerminalBox::createContextMenu()
{
    auto *menu = new QMenu(this);
    // The terminal's own keys: Ctrl with a letter is a byte on the line.
    const auto withKeys = [](const QString &text, Qt::Key key) {
        return text + u'\t' +
               QKeySequence(Qt::CTRL | Qt::SHIFT | key).toString(QKeySequence::NativeText);
    };
    QAction *copyAction = menu->addAction(withKeys(tr("&Copy"), Qt::Key_C));
    copyAction->setEnabled(m_anchor != m_caret);
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    QAction *pasteAction =
        menu->addAction(withKeys(m_pasteHook ? tr("&Paste and send") : tr("&Paste"), Qt::Key_V));
    pasteAction->setEnabled(!QApplication::clipboard()->text().isEmpty());
    connect(pasteAction, &QAction::triggered, this, [this] { paste(); });
    QAction *selectAllAction = menu->addAction(withKeys(tr("Select All"), Qt::Key_A));
    selectAllAction->setEnabled(m_text.size() > 0);
    connect(selectAllAction, &QAction::triggered, this, [this] { selectAll(); });
    menu->addSeparator();
    QAction *clearAction = menu->addAction(tr("Clear"));
    connect(clearAction, &QAction::triggered, this, [this] { Q_EMIT clearRequested(); });
    return menu;
}

void TerminalBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TerminalBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragPoint = event->position().toPoint();
    moveCaret(positionAt(m_dragPoint), event->modifiers() & Qt::ShiftModifier);
    m_selecting = true;
}

void TerminalBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    m_dragPoint = event->position().toPoint();
    // Beyond the top or bottom edge the box scrolls on its own while the button is held.
    if (m_dragPoint.y() < 0 || m_dragPoint.y() >= viewport()->height()) {
        if (!m_autoScroll.isActive())
            m_autoScroll.start(AutoScrollMs, this);
    } else {
        m_autoScroll.stop();
    }
    moveCaret(positionAt(m_dragPoint), true);
}

void TerminalBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting)
        return;
    m_selecting = false;
    m_autoScroll.stop();
    updateSelectionClipboard();
}

void TerminalBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    Q_EMIT doubleClicked();
}

void TerminalBox::wheelEvent(QWheelEvent *event)
{
    event->accept();
    const int delta = event->angleDelta().y();
    // Ctrl with the wheel zooms, as it did in the old read-only box.
    if (event->modifiers() & Qt::ControlModifier) {
        QFont zoomed = font();
        const qreal size = zoomed.pointSizeF() + delta / 120.0;
        if (zoomed.pointSizeF() > 0 && size >= 1) {
            zoomed.setPointSizeF(size);
            setFont(zoomed);
        }
        return;
    }
    const int lines = QApplication::wheelScrollLines();
    if (lines <= 0)
        return;
    m_wheelDelta += delta;
    const int rows = m_wheelDelta * lines / 120;
    if (rows == 0)
        return;
    m_wheelDelta -= rows * 120 / lines;
    scrollRows(-rows);
}

void TerminalBox::focusInEvent(QFocusEvent *event)
{
    restartBlink();
    QAbstractScrollArea::focusInEvent(event);
}

void TerminalBox::focusOutEvent(QFocusEvent *event)
{
    m_blink.stop();
    m_caretShown = false;
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

void TerminalBox::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_blink.timerId()) {
        m_caretShown = !m_caretShown;
        viewport()->update();
    } else if (event->timerId() == m_pasteTimer.timerId()) {
        pasteNextChunk();
    } else if (event->timerId() == m_paintLater.timerId()) {
        m_paintLater.stop();
        viewport()->update();
    } else if (event->timerId() == m_autoScroll.timerId()) {
        scrollRows(m_dragPoint.y() < 0 ? -1 : 1);
        moveCaret(positionAt(m_dragPoint), true);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void TerminalBox::restartBlink()
{
    m_caretShown = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash >= 2)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
    viewport()->update();
}

void TerminalBox::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
        updateMetrics();
        settle();
        viewport()->update();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
        m_pictures.fill(QPixmap());
        viewport()->update();
        break;
    default:
        break;
    }
    QAbstractScrollArea::changeEvent(event);
}

void TerminalBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    settle();
}

void TerminalBox::updateMetrics()
{
    m_font = font();
    // Each byte is placed by its own advance; kerning would move the glyphs off those places.
    m_font.setKerning(false);
    const QFontMetricsF metrics(m_font);
    const QFontMetricsF labels(pictureFont(m_font));
    // Rows as high as the old text box made its lines.
    m_ascent = qCeil(metrics.ascent());
    m_rowHeight = qMax(1, m_ascent + qCeil(metrics.descent()) + qRound(metrics.leading()));
    for (int b = 0; b < 256; ++b) {
        const auto byte = uchar(b);
        const char16_t c = shownCharacter(byte);
        const qreal width = metrics.horizontalAdvance(QChar(c));
        if (!hasNoPrintedForm(byte) && metrics.inFontUcs4(c) && width > 0) {
            m_glyph[b] = c;
            m_advance[b] = width;
        } else {
            m_glyph[b] = 0;
            m_advance[b] = qCeil(labels.horizontalAdvance(pictureLabel(byte))) + 4;
        }
    }
    m_pictures.fill(QPixmap());
}

QList<qsizetype> TerminalBox::wrap(const TerminalText::Block &block) const
{
    // Rows break after the last space that fits, or where the next byte no longer fits; a
    // space at the edge stays with its row. Each row holds at least one byte.
    QList<qsizetype> starts{block.start};
    const qreal width = qMax(1, viewport()->width() - 2 * Margin);
    const char *data = m_text.bytes().constData();
    qreal x = 0;
    qsizetype rowStart = block.start;
    qsizetype afterSpace = -1;
    for (qsizetype i = block.start; i < block.visibleEnd; ++i) {
        const auto byte = uchar(data[i]);
        const qreal w = advance(byte);
        if (x + w > width && i > rowStart) {
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

TerminalBox::Row TerminalBox::rowOf(const TerminalText::Block &block,
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

TerminalBox::Rows TerminalBox::rowsFrom(qsizetype position, int count) const
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

TerminalBox::Rows TerminalBox::rowsBefore(qsizetype rowStart, int count) const
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

TerminalBox::Row TerminalBox::rowAt(qsizetype position) const
{
    const TerminalText::Block block = m_text.blockAt(position);
    const QList<qsizetype> starts = wrap(block);
    return rowOf(block, starts,
                 std::upper_bound(starts.cbegin(), starts.cend(), position) - starts.cbegin() - 1);
}

int TerminalBox::rowsPerPage() const
{
    return qMax(1, (viewport()->height() - 2 * Margin) / m_rowHeight);
}

TerminalBox::Rows TerminalBox::visibleRows() const
{
    // Away from the end, the rows from the top one on, and one more partly shown; at the end,
    // the last whole rows that fit.
    const int page = rowsPerPage();
    if (!m_followEnd) {
        const Rows rows = rowsFrom(m_top, page + 1);
        if (rows.size() > page)
            return rows;
    }
    const Row last = rowAt(m_text.size());
    Rows rows = rowsBefore(last.start, page - 1);
    rows.append(last);
    return rows;
}

void TerminalBox::settle()
{
    if (!m_followEnd && rowsFrom(m_top, rowsPerPage() + 1).size() <= rowsPerPage())
        m_followEnd = true;
}

void TerminalBox::scrollRows(int delta)
{
    const int page = rowsPerPage();
    const qsizetype top = visibleRows().first().start;
    if (delta < 0) {
        const Rows above = rowsBefore(top, -delta);
        if (above.isEmpty())
            return;
        m_top = above.first().start;
        m_followEnd = false;
    } else if (delta > 0 && !m_followEnd) {
        const Rows below = rowsFrom(top, delta + page + 1);
        if (below.size() <= delta + page)
            m_followEnd = true;
        else
            m_top = below[delta].start;
    }
    viewport()->update();
}

void TerminalBox::ensureCaretVisible()
{
    const int page = rowsPerPage();
    const Rows rows = visibleRows();
    const qsizetype caretRow = rowAt(m_caret).start;
    if (caretRow < rows.first().start) {
        m_top = caretRow;
        m_followEnd = false;
    } else if (caretRow > rows[qMin<qsizetype>(page, rows.size()) - 1].start) {
        const Rows above = rowsBefore(caretRow, page - 1);
        m_top = above.isEmpty() ? caretRow : above.first().start;
        m_followEnd = false;
    }
    settle();
}

qreal TerminalBox::xOf(const Row &row, qsizetype position) const
{
    const char *data = m_text.bytes().constData();
    qreal x = 0;
    for (qsizetype i = row.start; i < qMin(position, row.visibleEnd); ++i)
        x += advance(uchar(data[i]));
    return x;
}

qsizetype TerminalBox::positionAt(const Row &row, qreal x) const
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

qsizetype TerminalBox::positionAt(const QPoint &point) const
{
    // Above or below the text, the nearest whole row shown.
    const Rows rows = visibleRows();
    const qsizetype shown = qMin<qsizetype>(rows.size(), rowsPerPage());
    const qsizetype index = point.y() < Margin ? 0 : (point.y() - Margin) / m_rowHeight;
    return positionAt(rows[qMin(index, shown - 1)], point.x() - Margin);
}

QPalette::ColorGroup TerminalBox::colorGroup() const
{
    if (!isEnabled())
        return QPalette::Disabled;
    return isActiveWindow() ? QPalette::Active : QPalette::Inactive;
}

void TerminalBox::paintEvent(QPaintEvent *event)
{
    m_sincePaint.start();
    QPainter painter(viewport());
    painter.setFont(m_font);
    const qsizetype from = qMin(m_anchor, m_caret);
    const qsizetype to = qMax(m_anchor, m_caret);
    const QRect area = event->rect();
    int y = Margin;
    for (const Row &row : visibleRows()) {
        if (y + m_rowHeight > area.top() && y <= area.bottom())
            drawRow(painter, row, y, from, to);
        if (m_caretShown && hasFocus() && m_caret >= row.start &&
            (m_caret < row.next || row.last)) {
            const qreal x = qMin<qreal>(Margin + xOf(row, m_caret), viewport()->width() - 1);
            painter.fillRect(QRectF(x, y, 1, m_rowHeight),
                             palette().brush(colorGroup(), QPalette::Text));
        }
        y += m_rowHeight;
    }
}

void TerminalBox::drawRow(QPainter &painter, const Row &row, int y, qsizetype from, qsizetype to)
{
    const QPalette::ColorGroup group = colorGroup();
    const QColor ink = palette().color(group, QPalette::Text);
    const QColor selectedInk = palette().color(group, QPalette::HighlightedText);
    const QBrush highlight = palette().brush(group, QPalette::Highlight);
    const char *data = m_text.bytes().constData();
    const auto selected = [from, to](qsizetype i) { return i >= from && i < to; };
    qreal x = Margin;
    QString run;
    qsizetype i = row.start;
    while (i < row.visibleEnd) {
        const bool inSelection = selected(i);
        const auto byte = uchar(data[i]);
        if (m_glyph[byte] == 0) {
            if (inSelection)
                painter.fillRect(QRectF(x, y, advance(byte), m_rowHeight), highlight);
            painter.drawPixmap(QPointF(x, y), picture(byte, inSelection));
            x += advance(byte);
            ++i;
            continue;
        }
        // A run of characters that the font draws, all in or all out of the selection.
        run.clear();
        qreal width = 0;
        for (; i < row.visibleEnd && m_glyph[uchar(data[i])] != 0 && selected(i) == inSelection;
             ++i) {
            run += QChar(m_glyph[uchar(data[i])]);
            width += advance(uchar(data[i]));
        }
        if (inSelection)
            painter.fillRect(QRectF(x, y, width, m_rowHeight), highlight);
        painter.setPen(inSelection ? selectedInk : ink);
        painter.drawText(QPointF(x, y + m_ascent), run);
        x += width;
    }
    // A selected line end shows as a space's width of highlight after the row.
    if (row.visibleEnd < row.next && selected(row.visibleEnd))
        painter.fillRect(QRectF(x, y, advance(' '), m_rowHeight), highlight);
}

const QPixmap &TerminalBox::picture(uchar byte, bool selected)
{
    QPixmap &picture = m_pictures[byte + (selected ? 256 : 0)];
    if (!picture.isNull())
        return picture;
    const qreal ratio = devicePixelRatioF();
    const QSizeF size(advance(byte), m_rowHeight);
    picture = QPixmap((size * ratio).toSize());
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    const QColor ink =
        palette().color(colorGroup(), selected ? QPalette::HighlightedText : QPalette::Text);
    QColor frame = ink;
    frame.setAlphaF(0.4f);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(frame);
    painter.drawRoundedRect(QRectF(1.5, 1.5, size.width() - 3, size.height() - 3), 2, 2);
    painter.setPen(ink);
    painter.setFont(pictureFont(m_font));
    painter.drawText(QRectF(QPointF(0, 0), size), Qt::AlignCenter, pictureLabel(byte));
    return picture;
}

} // namespace kalveno
