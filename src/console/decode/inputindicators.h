#pragma once

#include <QByteArray>

namespace kalveno {

struct MainWindowUi;

// Shows the TTL input states that the bridge mixes into its traffic as single status bytes,
// on the two display-only indicator pairs, and hands back the text without those bytes.
class InputIndicators final
{
public:
    explicit InputIndicators(const MainWindowUi &ui);

    QByteArray UPDATE_TTL_IN(const QByteArray &received);

private:
    const MainWindowUi &m_ui;
};

} // namespace kalveno
