#include "batchpanel.h"

#include "link/commandrouter.h"
#include "protocol/bridgeio.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"

namespace kalveno {

BatchView BatchView::find(const QWidget *form)
{
    return {.pulses = controlArray<CaptionButton, 4>(form, "TTLpXX"),
            .batchOn = control<CaptionButton>(form, "Command2"),
            .batchOff = control<CaptionButton>(form, "Command3")};
}

BatchPanel::BatchPanel(CommandRouter &router)
    : m_router(router)
{}

void BatchPanel::sendPulse(int index)
{
    m_router.SEND_COMMAND(bridgeio::outputPulse(index + 1));
}

void BatchPanel::sendBatchOn()
{
    m_router.SEND_COMMAND(bridgeio::BatchOn.toByteArray());
}

void BatchPanel::sendBatchOff()
{
    m_router.SEND_COMMAND(bridgeio::BatchOff.toByteArray());
}

} // namespace kalveno
