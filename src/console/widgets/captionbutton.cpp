#include "captionbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>
#include <qdrawutil.h>

namespace kalveno {

CaptionButton::CaptionButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{}

void CaptionButton::setGraphical(bool graphical)
{
    m_graphical = graphical;
    update();
}

void CaptionButton::setFaceColour(const QColor &colour)
{
    QPalette p = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Button, colour);
    setPalette(p);
}

QColor CaptionButton::faceColour() const
{
    return palette().color(QPalette::Button);
}

void CaptionButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    if (m_graphical) {
        const bool down = isDown() || isChecked();
        qDrawShadePanel(&painter, rect(), palette(), down, 2, &palette().brush(QPalette::Button));
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(3, 3, -3, -3);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    } else {
        painter.drawControl(QStyle::CE_PushButton, option);
    }
    const QRect textRect = rect().adjusted(3, 1, -3, -1);
    style()->drawItemText(&painter, textRect, Qt::AlignCenter | Qt::TextWordWrap, palette(),
                          isEnabled(), text(), QPalette::ButtonText);
}

} // namespace kalveno
