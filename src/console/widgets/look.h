#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace kalveno {

// The two reference colours: VERT shows a link that is up, ROUGE one that is not; both are
// also the send test's result colours.
inline const QColor VERT = QColor(128, 255, 128);
inline const QColor ROUGE = QColor(255, 128, 128);

inline constexpr int TwipsPerPixel = 15;
inline constexpr int twips(int value)
{
    return (value + (value >= 0 ? TwipsPerPixel / 2 : -TwipsPerPixel / 2)) / TwipsPerPixel;
}

// The old forms' face, "MS Sans Serif", mapped onto a metric-compatible face where it is not
// installed.
QFont formFont(double pointSize = 8.25, bool bold = false);
void installFontSubstitutes();

void setBackground(QWidget *field, const QColor &colour);
QColor background(const QWidget *field);

// Text colour in every colour group, so a display-only control inside a disabled frame keeps it.
void setForeground(QWidget *control, const QColor &colour);

inline constexpr QStringView MakerAddress = u"www.kalveno.example";

} // namespace kalveno
