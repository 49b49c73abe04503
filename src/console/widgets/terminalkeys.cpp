#include "terminalkeys.h"

#include <QKeyEvent>

namespace kalveno::terminalkeys {

Action actionOf(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers =
        event.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const int key = event.key();
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

int byteOf(const QKeyEvent &event)
{
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (actionOf(event) != Action::None)
        return 0;
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return key - Qt::Key_A + 1;
        if (key >= Qt::Key_BracketLeft && key <= Qt::Key_Underscore)
            return key - Qt::Key_At;
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
    const QString text = event.text();
    if (text.size() != 1)
        return 0;
    const char16_t c = text[0].unicode();
    return (c < 32 || c == 127 || c > 255) ? 0 : c;
}

Move moveOf(const QKeyEvent &event)
{
    const bool ctrl = event.modifiers() & Qt::ControlModifier;
    switch (event.key()) {
    case Qt::Key_Left:
        return ctrl ? Move::WordLeft : Move::Left;
    case Qt::Key_Right:
        return ctrl ? Move::WordRight : Move::Right;
    case Qt::Key_Home:
        return ctrl ? Move::TextStart : Move::RowStart;
    case Qt::Key_End:
        return ctrl ? Move::TextEnd : Move::RowEnd;
    case Qt::Key_Up:
        return Move::RowUp;
    case Qt::Key_Down:
        return Move::RowDown;
    case Qt::Key_PageUp:
        return Move::PageUp;
    case Qt::Key_PageDown:
        return Move::PageDown;
    default:
        return Move::None;
    }
}

} // namespace kalveno::terminalkeys
