#include "picklist.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QWheelEvent>

namespace kalveno {

PickList::PickList(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    // A combo box takes the focus from a wheel turned over it, before the turn reaches it; then
    // no test of the focus could tell a turn meant for the list from one passing over it.
    setFocusPolicy(Qt::StrongFocus);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (!m_editEnding)
            Q_EMIT picked(index);
    });
}

void PickList::keyPressEvent(QKeyEvent *event)
{
    // The base class ends the edit on Enter and picks the entry that matches the text.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void PickList::focusOutEvent(QFocusEvent *event)
{
    // The base class picks the entry that matches the text when the focus leaves, and writes
    // that entry over the typed text.
    const QString typed = currentText();
    {
        const QScopedValueRollback ending(m_editEnding, true);
        QComboBox::focusOutEvent(event);
    }
    if (currentText() != typed)
        setEditText(typed);
}

void PickList::wheelEvent(QWheelEvent *event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

} // namespace kalveno
