#include "terminalbox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

namespace kalveno {

namespace {

constexpr char16_t ZeroWidthSpace = 0x200B;
constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

} // namespace

TerminalBox::TerminalBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    // The widget never edits its own document: every change goes through replaceRange so that
    // the exact bytes and the display stay in step. Read-only with keyboard selection keeps a
    // visible caret that the arrow keys move.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFocusPolicy(Qt::StrongFocus);
}

void TerminalBox::setBytes(const QByteArray &bytes)
{
    if (bytes == m_bytes)
        return;
    m_bytes = bytes;
    m_softBreaks.clear();
    setPlainText(render(0, m_bytes.size(), &m_softBreaks));
    moveCursor(QTextCursor::End);
    Q_EMIT changed();
}

void TerminalBox::append(QByteArrayView chunk)
{
    if (chunk.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    replaceRange(m_bytes.size(), m_bytes.size(), chunk);
    ensureCursorVisible();
}

int TerminalBox::keyCode(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int key = event->key();
    const bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;
    if (letter && (modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier))
        return key - Qt::Key_A + 1;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() != 1)
        return 0;
    const char16_t c = text[0].unicode();
    if (c < 32 || c == 127 || c > 255)
        return 0;
    // Synthesised events carry the lower-case letter with Shift; a keyboard the capital.
    if (letter && (modifiers & Qt::ShiftModifier) && c >= u'a' && c <= u'z')
        return c - 32;
    return c;
}

void TerminalBox::keyPressEvent(QKeyEvent *event)
{
    int code = keyCode(event);
    if (code == 0) {
        if (event->key() == Qt::Key_Delete) {
            deleteForward();
            return;
        }
        // Navigation and selection keys keep the read-only editor's own handling.
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (m_keyPressHook)
        m_keyPressHook(code);
    if (code != 0)
        typeKey(code);
}

void TerminalBox::typeKey(int code)
{
    switch (code) {
    case 1:
        selectAll();
        return;
    case 3:
        copy();
        return;
    case 8:
        deleteBackward();
        return;
    case 13: {
        qsizetype from, to;
        selectionRange(&from, &to);
        replaceRange(from, to, "\r\n");
        break;
    }
    case 22: {
        qsizetype from, to;
        selectionRange(&from, &to);
        replaceRange(from, to, QApplication::clipboard()->text().toLatin1());
        break;
    }
    case 24:
        copy();
        deleteForward();
        return;
    default: {
        if (code < 32 && code != 9)
            return;
        qsizetype from, to;
        selectionRange(&from, &to);
        const char byte = char(code);
        replaceRange(from, to, QByteArrayView(&byte, 1));
        break;
    }
    }
    ensureCursorVisible();
}

void TerminalBox::deleteBackward()
{
    qsizetype from, to;
    selectionRange(&from, &to);
    if (from == to) {
        if (from == 0)
            return;
        from -= (from >= 2 && m_bytes[from - 2] == '\r' && m_bytes[from - 1] == '\n') ? 2 : 1;
    }
    replaceRange(from, to, {});
}

void TerminalBox::deleteForward()
{
    qsizetype from, to;
    selectionRange(&from, &to);
    if (from == to) {
        if (to == m_bytes.size())
            return;
        to += (to + 1 < m_bytes.size() && m_bytes[to] == '\r' && m_bytes[to + 1] == '\n') ? 2 : 1;
    }
    replaceRange(from, to, {});
}

void TerminalBox::selectionRange(qsizetype *from, qsizetype *to) const
{
    const QTextCursor cursor = textCursor();
    *from = bytePosition(cursor.selectionStart());
    *to = bytePosition(cursor.selectionEnd());
}

qsizetype TerminalBox::caretPosition(qsizetype byte) const
{
    const auto before = std::lower_bound(m_softBreaks.cbegin(), m_softBreaks.cend(), byte);
    return byte + (before - m_softBreaks.cbegin());
}

qsizetype TerminalBox::bytePosition(qsizetype display) const
{
    // The k-th soft break shows at display position m_softBreaks[k] + k; count those in front.
    qsizetype low = 0;
    qsizetype high = m_softBreaks.size();
    while (low < high) {
        const qsizetype mid = (low + high) / 2;
        if (m_softBreaks[mid] + mid < display)
            low = mid + 1;
        else
            high = mid;
    }
    return qBound<qsizetype>(0, display - low, m_bytes.size());
}

void TerminalBox::replaceRange(qsizetype from, qsizetype to, QByteArrayView with)
{
    if (from == to && with.isEmpty())
        return;
    const qsizetype displayFrom = caretPosition(from);
    const qsizetype displayTo = caretPosition(to);

    const auto first = std::lower_bound(m_softBreaks.begin(), m_softBreaks.end(), from);
    const auto last = std::lower_bound(first, m_softBreaks.end(), to);
    const qsizetype at = first - m_softBreaks.begin();
    m_softBreaks.erase(first, last);
    const qsizetype shift = with.size() - (to - from);
    for (auto it = m_softBreaks.begin() + at; it != m_softBreaks.end(); ++it)
        *it += shift;
    m_bytes.replace(from, to - from, with);

    QList<qsizetype> added;
    const QString shown = render(from, from + with.size(), &added);
    m_softBreaks.insert(at, added.size(), 0);
    std::copy(added.cbegin(), added.cend(), m_softBreaks.begin() + at);

    QTextCursor cursor(document());
    cursor.setPosition(int(displayFrom));
    cursor.setPosition(int(displayTo), QTextCursor::KeepAnchor);
    cursor.insertText(shown);
    // A CR shows differently alone and before an LF: the bytes on both edges may have changed
    // partners.
    refreshCarriageReturn(from - 1);
    refreshCarriageReturn(from + with.size() - 1);
    QTextCursor caret = textCursor();
    caret.setPosition(int(caretPosition(from + with.size())));
    setTextCursor(caret);
    Q_EMIT changed();
}

void TerminalBox::refreshCarriageReturn(qsizetype position)
{
    if (position < 0 || position >= m_bytes.size() || m_bytes[position] != '\r')
        return;
    const qsizetype display = caretPosition(position + 1) - 1;
    QTextCursor cursor(document());
    cursor.setPosition(int(display));
    cursor.setPosition(int(display + 1), QTextCursor::KeepAnchor);
    // selectedText() reports a block break as U+2029.
    const bool showsBreak = cursor.selectedText() == QString(QChar::ParagraphSeparator);
    if (showsBreak != breaksLine(position))
        cursor.insertText(QString(displayOf(position)));
}

bool TerminalBox::breaksLine(qsizetype i) const
{
    return m_bytes[i] == '\n' ||
           (m_bytes[i] == '\r' && !(i + 1 < m_bytes.size() && m_bytes[i + 1] == '\n'));
}

qsizetype TerminalBox::runBefore(qsizetype position) const
{
    // Bytes since the last line break in front of position, real or shown only, at most
    // SoftBreakEvery.
    const auto soft = std::lower_bound(m_softBreaks.cbegin(), m_softBreaks.cend(), position);
    const qsizetype lastSoft = soft == m_softBreaks.cbegin() ? 0 : *(soft - 1);
    const qsizetype limit = qMax(lastSoft, position - SoftBreakEvery);
    qsizetype i = position - 1;
    while (i >= limit && !breaksLine(i))
        --i;
    return position - (i >= limit ? i + 1 : limit);
}

QChar TerminalBox::displayOf(qsizetype i) const
{
    const auto b = static_cast<unsigned char>(m_bytes[i]);
    if (b == '\n' || b == '\t')
        return QChar(char16_t(b));
    if (b == '\r')
        return breaksLine(i) ? QChar(u'\n') : QChar(ZeroWidthSpace);
    if (b < 32)
        return QChar(ControlPictures + b);
    if (b == 127)
        return QChar(DeletePicture);
    return QChar(char16_t(b));
}

QString TerminalBox::render(qsizetype from, qsizetype to, QList<qsizetype> *softBreaks) const
{
    QString text;
    text.reserve(to - from + (to - from) / SoftBreakEvery + 1);
    qsizetype run = runBefore(from);
    for (qsizetype i = from; i < to; ++i) {
        // A byte that breaks the line itself needs no break in front of it.
        if (run >= SoftBreakEvery && !breaksLine(i)) {
            text += u'\n';
            softBreaks->append(i);
            run = 0;
        }
        text += displayOf(i);
        run = breaksLine(i) ? 0 : run + 1;
    }
    return text;
}

void TerminalBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    Q_EMIT doubleClicked();
}

bool TerminalBox::focusNextPrevChild(bool next)
{
    // Tab is a byte for the terminal; Shift+Tab still leaves it.
    return next ? false : QPlainTextEdit::focusNextPrevChild(next);
}

QMimeData *TerminalBox::createMimeDataFromSelection() const
{
    qsizetype from, to;
    selectionRange(&from, &to);
    auto *data = new QMimeData;
    data->setText(QString::fromLatin1(m_bytes.mid(from, to - from)));
    return data;
}

} // namespace kalveno
