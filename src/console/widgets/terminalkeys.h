#pragma once

class QKeyEvent;

namespace kalveno::terminalkeys {

// The keys a terminal takes for itself, which send nothing.
enum class Action { None, Copy, Cut, Paste, SelectAll };

// Where the keys that give no byte move the caret: a byte (a CR LF pair as one) or a word left
// or right, to the start or end of the row or, with Ctrl, of the text, a row or a page up or
// down. Shift with any of them extends the selection.
enum class Move {
    None,
    Left,
    Right,
    WordLeft,
    WordRight,
    RowStart,
    RowEnd,
    TextStart,
    TextEnd,
    RowUp,
    RowDown,
    PageUp,
    PageDown
};

// Ctrl+Shift+C and Ctrl+Insert copy, Ctrl+Shift+X and Shift+Delete cut, Ctrl+Shift+V and
// Shift+Insert paste, Ctrl+Shift+A selects all.
Action actionOf(const QKeyEvent &event);

// The byte a key stands for, or 0 for a key that gives none (or that the terminal takes for
// itself). The event's own text decides, as the keyboard layout and Caps Lock made it; the Ctrl
// codes come from the key and its modifiers, so that synthesised events, which lack them, give
// the same byte. Enter gives CR, Backspace BS, Escape ESC; Ctrl+Enter LF and Ctrl+Backspace DEL,
// as the old text box gave them; Ctrl with a letter 1 to 26 and Ctrl with [ \ ] ^ _ 27 to 31, as
// on a terminal. Tab moves the focus and Delete edits: neither is a byte.
int byteOf(const QKeyEvent &event);

Move moveOf(const QKeyEvent &event);

} // namespace kalveno::terminalkeys
