#include "ttlpanel.h"

#include "app/mainwindowui.h"
#include "decode/testview.h"
#include "link/commandrouter.h"
#include "protocol/bridgeio.h"

#include <QRadioButton>

namespace kalveno {

TtlPanel::TtlPanel(const MainWindowUi &ui, CommandRouter &router, TestViewHost &testView)
    : m_router(router)
    , m_testView(testView)
    , m_options{ui.SW_TTL1_OUT, ui.SW_TTL2_OUT, ui.SW_TTL3_OUT, ui.SW_TTL4_OUT}
{}

void TtlPanel::outputClick(int output, int index)
{
    m_router.SEND_COMMAND(bridgeio::outputSwitch(output, index == 0));
}

void TtlPanel::twoSeconds(int output)
{
    // Selecting "OFF" from code raises its click only when the selection changes, so the off
    // code goes first exactly when "OFF" was not yet showing.
    QRadioButton *off = m_options[output - 1][1];
    if (!off->isChecked()) {
        off->setChecked(true);
        outputClick(output, 1);
    }
    m_router.SEND_COMMAND(bridgeio::outputTwoSeconds(output));
}

void TtlPanel::TTLpXX_Click(int index)
{
    m_router.SEND_COMMAND(bridgeio::outputPulse(index + 1));
}

void TtlPanel::B_STATUS_Click()
{
    m_router.SEND_COMMAND(bridgeio::inputStatusRequest(1));
}

void TtlPanel::B_STATUS2_Click()
{
    m_router.SEND_COMMAND(bridgeio::inputStatusRequest(2));
}

void TtlPanel::Command2_Click()
{
    m_router.SEND_COMMAND(bridgeio::BatchOn.toByteArray());
}

void TtlPanel::Command3_Click()
{
    m_router.SEND_COMMAND(bridgeio::BatchOff.toByteArray());
}

void TtlPanel::B_ZOOM_TEST_Click()
{
    m_testView.show();
}

} // namespace kalveno
