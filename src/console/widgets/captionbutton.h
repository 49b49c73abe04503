#pragma once

#include <QPushButton>

namespace kalveno {

// A push button whose caption wraps onto several lines within the button, as the old buttons'
// captions did ("ON 2 SECS." on two lines in a small square button). In graphical style the
// face is filled flat with the palette's button colour, so that a colour set as a result
// reads exactly as that colour on the screen.
class CaptionButton final : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptionButton)

public:
    explicit CaptionButton(const QString &caption, QWidget *parent = nullptr);

    void setGraphical(bool graphical);
    void setFaceColour(const QColor &colour);
    QColor faceColour() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_graphical = false;
};

} // namespace kalveno
