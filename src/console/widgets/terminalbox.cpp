#include "terminalbox.h"

#include "widgets/terminalkeys.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QWheelEvent>

namespace kalveno {

namespace {

// As the old text box's document margin, so that the test view's legend and display still run
// side by side, line for line.
constexpr int Margin = 4;
constexpr int AutoScrollMs = 50;

} // namespace

TerminalBox::TerminalBox(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    // The window's design has no scroll bars; the wheel and the keys scroll the box.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    applyFont();
}

void TerminalBox::setBytes(const QByteArray &bytes)
{
    if (bytes == m_text.bytes())
        return;
    m_text.assign(bytes);
    m_anchor = m_caret = m_text.size();
    m_layout.followEnd();
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
    m_layout.dropped(cut);
}

bool TerminalBox::event(QEvent *event)
{
    // A key that gives a byte, or that the terminal takes for itself, belongs to the terminal,
    // not to a shortcut of the window.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto &key = static_cast<const QKeyEvent &>(*event);
        if (terminalkeys::byteOf(key) != 0 ||
            terminalkeys::actionOf(key) != terminalkeys::Action::None) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TerminalBox::keyPressEvent(QKeyEvent *event)
{
    using terminalkeys::Action;
    switch (terminalkeys::actionOf(*event)) {
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
    int code = terminalkeys::byteOf(*event);
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
    using terminalkeys::Move;
    const Move move = terminalkeys::moveOf(*event);
    if (move == Move::None)
        return false;
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool left = move == Move::Left || move == Move::WordLeft;
    const bool right = move == Move::Right || move == Move::WordRight;
    qreal keepX = m_desiredX;
    qsizetype target;
    // Left or right without Shift ends a selection at its own end.
    if (!extend && m_anchor != m_caret && (left || right)) {
        target = left ? qMin(m_anchor, m_caret) : qMax(m_anchor, m_caret);
        keepX = -1;
    } else {
        target = m_layout.moved(m_caret, move, keepX);
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
    m_layout.ensureVisible(m_caret);
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
    m_layout.edited(from, to, inserted);
    m_anchor = m_caret = from + inserted;
    m_desiredX = -1;
    if (changedText)
        trimToLimit();
    m_layout.ensureVisible(m_caret);
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
        applyFont();
        m_layout.settle();
        viewport()->update();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
        m_glyphs.forgetPictures();
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
    applySize();
    m_layout.settle();
}

void TerminalBox::applyFont()
{
    m_glyphs.setFont(font());
    m_layout.setAdvances(m_glyphs.advances());
    applySize();
}

void TerminalBox::applySize()
{
    m_layout.setSize(viewport()->width() - 2 * Margin,
                     (viewport()->height() - 2 * Margin) / m_glyphs.rowHeight());
}

void TerminalBox::scrollRows(int delta)
{
    m_layout.scrollRows(delta);
    viewport()->update();
}

qsizetype TerminalBox::positionAt(const QPoint &point) const
{
    // Above or below the text, the nearest whole row shown.
    const Rows rows = m_layout.visibleRows();
    const qsizetype shown = qMin<qsizetype>(rows.size(), m_layout.pageRows());
    const qsizetype index = point.y() < Margin ? 0 : (point.y() - Margin) / m_glyphs.rowHeight();
    return m_layout.positionAt(rows[qMin(index, shown - 1)], point.x() - Margin);
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
    painter.setFont(m_glyphs.font());
    const QPalette::ColorGroup group = colorGroup();
    const TerminalGlyphs::Ink ink{palette().color(group, QPalette::Text),
                                  palette().color(group, QPalette::HighlightedText),
                                  palette().brush(group, QPalette::Highlight)};
    const qsizetype from = qMin(m_anchor, m_caret);
    const qsizetype to = qMax(m_anchor, m_caret);
    const QRect area = event->rect();
    const int height = m_glyphs.rowHeight();
    int y = Margin;
    for (const Row &row : m_layout.visibleRows()) {
        if (y + height > area.top() && y <= area.bottom())
            m_glyphs.drawRow(painter, m_text.bytes(), row, QPointF(Margin, y), from, to, ink);
        if (m_caretShown && hasFocus() && m_caret >= row.start &&
            (m_caret < row.next || row.last)) {
            const qreal x =
                qMin<qreal>(Margin + m_layout.xOf(row, m_caret), viewport()->width() - 1);
            painter.fillRect(QRectF(x, y, 1, height), palette().brush(group, QPalette::Text));
        }
        y += height;
    }
}

} // namespace kalveno
