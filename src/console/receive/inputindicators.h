#pragma once

#include <QByteArray>

#include <array>

class QRadioButton;
class QWidget;

namespace kalveno {

// The two display-only indicator pairs of the TTL inputs ("ON", "OFF").
struct TtlInputsView
{
    std::array<QRadioButton *, 2> SW_TTL1_IN{};
    std::array<QRadioButton *, 2> SW_TTL2_IN{};

    static TtlInputsView find(const QWidget *form);
};

// Shows the TTL input states that the bridge mixes into its traffic as single status bytes,
// on the two indicator pairs, and hands back the text without those bytes.
class InputIndicators final
{
public:
    explicit InputIndicators(const TtlInputsView &view);

    QByteArray UPDATE_TTL_IN(const QByteArray &received);

private:
    TtlInputsView m_view;
};

} // namespace kalveno
