#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPlainTextEdit>

#include <functional>

namespace kalveno {

// A multi-line box that holds exactly the bytes put into it, one character per byte, CR, LF
// and NUL included, as the old terminal text box did. Qt's text widgets fold CR, LF and CR LF
// into one paragraph break, so the box keeps the exact bytes itself and shows them one display
// character per byte: LF and a lone CR break the line, the CR of a CR LF pair is invisible,
// other control bytes show as their control pictures.
//
// A line without breaks would make one ever-growing paragraph that the text layout redoes
// whole at every append, so the display also breaks a line after every SoftBreakEvery bytes.
// Those breaks exist only on the screen; positions are mapped between bytes and display.
//
// Typed keys go through a key-press hook first (the byte in and out; 0 discards the key), then
// take their ordinary effect at the caret: a character is inserted over the selection,
// Backspace deletes back (a CR LF pair as one), Enter inserts CR LF. Keys that produce no
// character (Delete, arrows, Home, End) never reach the hook and keep their editing effect.
class TerminalBox final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminalBox)

public:
    using KeyPressHook = std::function<void(int &code)>;

    explicit TerminalBox(QWidget *parent = nullptr);

    const QByteArray &bytes() const { return m_bytes; }
    qsizetype length() const { return m_bytes.size(); }

    // Replaces the whole text; a change notification follows only when the text differs.
    void setBytes(const QByteArray &bytes);
    // Appends at the end through an empty selection: the caret ends after the new bytes, any
    // selection is dropped and the end is shown. Costs the size of the chunk, not of the text.
    void append(QByteArrayView chunk);

    void setKeyPressHook(KeyPressHook hook) { m_keyPressHook = std::move(hook); }

    static constexpr qsizetype SoftBreakEvery = 2048;

    // The byte a key event stands for, or 0 for a key that produces no character. Derived from
    // the key and its modifiers so that real keyboards and synthesised events agree.
    static int keyCode(const QKeyEvent *event);

Q_SIGNALS:
    void changed();
    void doubleClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    void typeKey(int code);
    void deleteBackward();
    void deleteForward();
    // Replaces bytes [from, to) by the given bytes in the exact text and the display alike.
    void replaceRange(qsizetype from, qsizetype to, QByteArrayView with);
    // The display of bytes [from, to), given the bytes before them; appends the places where
    // it breaks a long line.
    QString render(qsizetype from, qsizetype to, QList<qsizetype> *softBreaks) const;
    QChar displayOf(qsizetype i) const;
    bool breaksLine(qsizetype i) const;
    qsizetype runBefore(qsizetype position) const;
    void refreshCarriageReturn(qsizetype position);
    void selectionRange(qsizetype *from, qsizetype *to) const;
    // The display position of the caret in front of a byte, and back.
    qsizetype caretPosition(qsizetype byte) const;
    qsizetype bytePosition(qsizetype display) const;

    QByteArray m_bytes;
    // Sorted: a display-only line break stands in front of each of these bytes.
    QList<qsizetype> m_softBreaks;
    KeyPressHook m_keyPressHook;
};

} // namespace kalveno
