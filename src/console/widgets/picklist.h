#pragma once

#include <QComboBox>

namespace kalveno {

// A combo box with editable text whose handler runs only when the user picks an entry: from the
// open list with the mouse or the keyboard, or with the arrow keys (or the wheel) while it has
// the focus. Typing runs nothing: Enter, leaving the field and a typed text that happens to
// match an entry neither pick that entry nor rewrite the text, and nothing completes a text
// being typed. The wheel over a list that does not have the focus passes on, and does not give
// it the focus.
class PickList final : public QComboBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PickList)

public:
    explicit PickList(QWidget *parent = nullptr);

Q_SIGNALS:
    void picked(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // Set while the base class reacts to the end of an edit, which it takes as a choice.
    bool m_editEnding = false;
};

} // namespace kalveno
