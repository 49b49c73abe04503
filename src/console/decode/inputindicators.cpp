#include "inputindicators.h"

#include "app/mainwindowui.h"
#include "protocol/ttlstatus.h"

#include <QRadioButton>

namespace kalveno {

InputIndicators::InputIndicators(const MainWindowUi &ui)
    : m_ui(ui)
{}

QByteArray InputIndicators::UPDATE_TTL_IN(const QByteArray &received)
{
    TtlStatus status = takeTtlStatus(received);
    // Only the last status byte of each input shows; the earlier ones were overtaken at once.
    if (status.input1On)
        m_ui.SW_TTL1_IN[*status.input1On ? 0 : 1]->setChecked(true);
    if (status.input2On)
        m_ui.SW_TTL2_IN[*status.input2On ? 0 : 1]->setChecked(true);
    return std::move(status.display);
}

} // namespace kalveno
