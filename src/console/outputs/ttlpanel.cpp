#include "ttlpanel.h"

#include "link/commandrouter.h"
#include "protocol/bridgeio.h"
#include "testview/testview.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/picturebutton.h"

#include <QRadioButton>

namespace kalveno {

TtlOutputsView TtlOutputsView::find(const QWidget *form)
{
    return {.SW_TTL_OUT = {controlArray<QRadioButton, 2>(form, "SW_TTL1_OUT"),
                           controlArray<QRadioButton, 2>(form, "SW_TTL2_OUT"),
                           controlArray<QRadioButton, 2>(form, "SW_TTL3_OUT"),
                           controlArray<QRadioButton, 2>(form, "SW_TTL4_OUT")},
            .B_TTL_XX = {control<CaptionButton>(form, "B_TTL1_XX"),
                         control<CaptionButton>(form, "B_TTL2_XX"),
                         control<CaptionButton>(form, "B_TTL3_XX"),
                         control<CaptionButton>(form, "B_TTL4_XX")},
            .B_STATUS = control<CaptionButton>(form, "B_STATUS"),
            .B_STATUS2 = control<CaptionButton>(form, "B_STATUS2"),
            .B_ZOOM_TEST = control<PictureButton>(form, "B_ZOOM_TEST")};
}

TtlPanel::TtlPanel(const TtlOutputsView &view, CommandRouter &router, TestViewHost &testView)
    : m_view(view)
    , m_router(router)
    , m_testView(testView)
{}

void TtlPanel::SW_TTL_OUT_Click(int output, int index)
{
    m_router.SEND_COMMAND(bridgeio::outputSwitch(output, index == 0));
}

void TtlPanel::B_TTL_XX_Click(int output)
{
    // Selecting "OFF" from code raises its click only when the selection changes, so the off
    // code goes first exactly when "OFF" was not yet showing.
    QRadioButton *off = m_view.SW_TTL_OUT[output - 1][1];
    if (!off->isChecked()) {
        off->setChecked(true);
        SW_TTL_OUT_Click(output, 1);
    }
    m_router.SEND_COMMAND(bridgeio::outputTwoSeconds(output));
}

void TtlPanel::pulseAllOutputs()
{
    for (int output = 1; output <= 4; ++output)
        B_TTL_XX_Click(output);
}

void TtlPanel::B_STATUS_Click()
{
    m_router.SEND_COMMAND(bridgeio::inputStatusRequest(1));
}

void TtlPanel::B_STATUS2_Click()
{
    m_router.SEND_COMMAND(bridgeio::inputStatusRequest(2));
}

void TtlPanel::B_ZOOM_TEST_Click()
{
    m_testView.show();
}

} // namespace kalveno
