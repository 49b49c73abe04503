#pragma once

#include "widgets/terminalglyphs.h"
#include "widgets/terminallayout.h"
#include "widgets/terminaltext.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QPalette>

#include <functional>

class QMenu;

namespace kalveno {

// A multi-line box that holds exactly the bytes put into it, one character per byte, CR, LF and
// NUL included, as the old terminal text box did, at one byte of memory per byte held. It draws
// only the rows in view, straight from the bytes: LF and a lone CR break the line, the CR of a
// CR LF pair is not shown, the other bytes as its glyphs draw them (TerminalGlyphs). Rows wrap
// at the box's width (TerminalLayout). It has no scroll bars; the wheel and the keys scroll it,
// and it follows the end as text arrives unless the user has scrolled away from the end.
//
// Typed keys give their bytes (terminalkeys) to a key-press hook first (the byte in and out; 0
// discards the key), then take their ordinary effect at the caret: a character replaces the
// selection, Backspace and Delete remove a CR LF pair as one, Enter inserts CR LF, Ctrl+Enter LF
// and Ctrl+Backspace the DEL byte; the other control bytes do nothing else. Tab and Shift+Tab
// move the focus on, as in any form. Keys that produce no byte (Delete, arrows, Home, End, Page
// Up and Down) never reach the hook and keep their editing effect.
//
// The box takes a few keys for itself, which send nothing (copy, cut, paste and select all:
// terminalkeys), and Ctrl with the wheel zooms. A paste goes through a paste hook, which sends it
// on the box's link, a chunk at a time between which the window goes on, and shows each chunk that
// went out when echo is on: the box shows no pasted byte that did not leave. Without a hook a
// paste only edits the text.
class TerminalBox final : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminalBox)

public:
    using KeyPressHook = std::function<void(int &code)>;
    // A chunk of a paste: its bytes, how many went before them and how many the paste holds.
    struct Pasted
    {
        QByteArrayView bytes;
        qsizetype done = 0;
        qsizetype total = 0;
    };
    // Sends the chunk and returns true, setting echo to false when it must not show; false stops
    // the paste, nothing more of it sent or shown.
    using PasteHook = std::function<bool(const Pasted &chunk, bool &echo)>;
    // What a paste sends in one go: a few milliseconds of work at most.
    static constexpr qsizetype PasteChunkSize = 32 * 1024;

    explicit TerminalBox(QWidget *parent = nullptr);

    const QByteArray &bytes() const { return m_text.bytes(); }
    qsizetype length() const { return m_text.size(); }

    // Replaces the whole text; a change notification follows only when the text differs.
    void setBytes(const QByteArray &bytes);
    // Appends at the end through an empty selection: the caret ends after the new bytes and any
    // selection is dropped. Costs the size of the chunk, not of the text.
    void append(QByteArrayView chunk);

    // Once the text grows past limit bytes, its oldest lines are dropped (0: no limit).
    void setByteLimit(qsizetype limit);

    void setKeyPressHook(KeyPressHook hook) { m_keyPressHook = std::move(hook); }
    void setPasteHook(PasteHook hook) { m_pasteHook = std::move(hook); }
    // Pastes the clipboard's text as the paste keys do.
    void paste();

    // The selection runs from the anchor to the caret, both byte positions.
    qsizetype caretPosition() const { return m_caret; }
    qsizetype anchorPosition() const { return m_anchor; }
    void setSelection(qsizetype anchor, qsizetype caret);
    QByteArray selectedBytes() const;
    void selectAll();
    void copy() const;

    // The menu the right button opens: Copy, Paste (and send), Select All and Clear; the caller
    // owns it.
    QMenu *createContextMenu();

Q_SIGNALS:
    void changed();
    void doubleClicked();
    // Clear was chosen in the context menu; the box leaves the clearing to its owner.
    void clearRequested();

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    using Row = TerminalLayout::Row;
    using Rows = TerminalLayout::Rows;

    void typeKey(int code);
    bool moveByKey(const QKeyEvent *event);
    void replaceSelection(QByteArrayView with);
    void replaceRange(qsizetype from, qsizetype to, QByteArrayView with);
    void pasteNextChunk();
    // Moves the caret and the view past bytes [from, to), now replaced by inserted bytes.
    void afterEdit(qsizetype from, qsizetype to, qsizetype inserted, bool changedText);
    void deleteBackward();
    void deleteForward();
    void cut();
    // Applies the byte limit and shifts every position past the dropped bytes.
    void trimToLimit();
    void moveCaret(qsizetype position, bool keepAnchor);
    void updateSelectionClipboard() const;

    // The font's glyphs, and the layout's advances and size.
    void applyFont();
    void applySize();
    void scrollRows(int delta);
    qsizetype positionAt(const QPoint &point) const;
    QPalette::ColorGroup colorGroup() const;
    void restartBlink();
    // Repaints for received text at most once a frame, however fast the chunks come.
    void paintSoon();

    TerminalText m_text;
    TerminalLayout m_layout{m_text};
    TerminalGlyphs m_glyphs;
    qsizetype m_caret = 0;
    qsizetype m_anchor = 0;
    // Where Up and Down keep the caret, across rows of different lengths; negative: unset.
    qreal m_desiredX = -1;
    int m_wheelDelta = 0;
    bool m_selecting = false;
    QPoint m_dragPoint;
    KeyPressHook m_keyPressHook;
    PasteHook m_pasteHook;
    // The paste under way and how much of it has gone out.
    QByteArray m_pasting;
    qsizetype m_pasteDone = 0;
    QBasicTimer m_pasteTimer;

    QBasicTimer m_blink;
    bool m_caretShown = false;
    QBasicTimer m_autoScroll;
    QBasicTimer m_paintLater;
    QElapsedTimer m_sincePaint;
};

} // namespace kalveno
