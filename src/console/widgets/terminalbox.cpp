#include "terminalbox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>

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
    setPlainText(displayOf(0, m_bytes.size()));
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
    *from = qMin<qsizetype>(cursor.selectionStart(), m_bytes.size());
    *to = qMin<qsizetype>(cursor.selectionEnd(), m_bytes.size());
}

void TerminalBox::replaceRange(qsizetype from, qsizetype to, QByteArrayView with)
{
    if (from == to && with.isEmpty())
        return;
    m_bytes.replace(from, to - from, with);
    QTextCursor cursor(document());
    cursor.setPosition(int(from));
    cursor.setPosition(int(to), QTextCursor::KeepAnchor);
    cursor.insertText(displayOf(from, from + with.size()));
    // A CR shows differently alone and before an LF: the bytes on both edges may have changed
    // partners.
    refreshCarriageReturn(from - 1);
    refreshCarriageReturn(from + with.size() - 1);
    QTextCursor caret = textCursor();
    caret.setPosition(int(from + with.size()));
    setTextCursor(caret);
    Q_EMIT changed();
}

void TerminalBox::refreshCarriageReturn(qsizetype position)
{
    if (position < 0 || position >= m_bytes.size() || m_bytes[position] != '\r')
        return;
    const QString shown = displayOf(position, position + 1);
    QTextCursor cursor(document());
    cursor.setPosition(int(position));
    cursor.setPosition(int(position + 1), QTextCursor::KeepAnchor);
    const QString current = cursor.selectedText();
    // selectedText() reports a block break as U+2029.
    const bool isBreak = current == QString(QChar::ParagraphSeparator);
    const bool wantBreak = shown == u"\n";
    if (isBreak != wantBreak)
        cursor.insertText(shown);
}

QString TerminalBox::displayOf(qsizetype from, qsizetype to) const
{
    QString text(to - from, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = from; i < to; ++i) {
        const auto b = static_cast<unsigned char>(m_bytes[i]);
        char16_t c = b;
        if (b == '\n')
            c = u'\n';
        else if (b == '\r')
            c = (i + 1 < m_bytes.size() && m_bytes[i + 1] == '\n') ? ZeroWidthSpace : u'\n';
        else if (b == '\t')
            c = u'\t';
        else if (b < 32)
            c = ControlPictures + b;
        else if (b == 127)
            c = DeletePicture;
        *out++ = c;
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
