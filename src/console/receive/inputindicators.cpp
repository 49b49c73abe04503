#include "inputindicators.h"

#include "protocol/ttlstatus.h"
#include "widgets/controls.h"

#include <QRadioButton>

namespace kalveno {

TtlInputsView TtlInputsView::find(const QWidget *form)
{
    return {.SW_TTL1_IN = controlArray<QRadioButton, 2>(form, "SW_TTL1_IN"),
            .SW_TTL2_IN = controlArray<QRadioButton, 2>(form, "SW_TTL2_IN")};
}

InputIndicators::InputIndicators(const TtlInputsView &view)
    : m_view(view)
{}

QByteArray InputIndicators::UPDATE_TTL_IN(const QByteArray &received)
{
    TtlStatus status = takeTtlStatus(received);
    // Only the last status byte of each input shows; the earlier ones were overtaken at once.
    if (status.input1On)
        m_view.SW_TTL1_IN[*status.input1On ? 0 : 1]->setChecked(true);
    if (status.input2On)
        m_view.SW_TTL2_IN[*status.input2On ? 0 : 1]->setChecked(true);
    return std::move(status.display);
}

} // namespace kalveno
