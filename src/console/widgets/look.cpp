#include "look.h"

#include <QFontInfo>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace kalveno {

QFont formFont(double pointSize, bool bold)
{
    QFont font(u"MS Sans Serif"_s);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    // The substitute is a little wider than the face the captions were fitted to; condensing
    // it slightly keeps every caption whole in its control.
    static const bool substituted = QFontInfo(font).family() != u"MS Sans Serif"_s;
    if (substituted)
        font.setStretch(90);
    return font;
}

void installFontSubstitutes()
{
    QFont::insertSubstitutions(u"MS Sans Serif"_s,
                               {u"Liberation Sans"_s, u"Arial"_s, u"DejaVu Sans"_s});
}

void setBackground(QWidget *field, const QColor &colour)
{
    QPalette p = field->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, colour);
    field->setPalette(p);
}

QColor background(const QWidget *field)
{
    return field->palette().color(QPalette::Active, QPalette::Base);
}

void setForeground(QWidget *control, const QColor &colour)
{
    QPalette p = control->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            p.setColor(group, role, colour);
    }
    control->setPalette(p);
}

} // namespace kalveno
