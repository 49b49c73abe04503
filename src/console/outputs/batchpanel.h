#pragma once

#include <array>

class QWidget;

namespace kalveno {

class CaptionButton;
class CommandRouter;

// Frame8, "Bridge V3 Batch (ne pas toucher)", below the window's initial view.
struct BatchView
{
    std::array<CaptionButton *, 4> pulses{}; // TTLpXX, "TTL1 .3" to "TTL4 .3"
    CaptionButton *batchOn = nullptr;        // Command2, "Batch On 4 Sec."
    CaptionButton *batchOff = nullptr;       // Command3, "Batch Off"

    static BatchView find(const QWidget *form);
};

// The fixed pulse and batch commands of the bridge's V3 firmware, through the command router.
class BatchPanel final
{
public:
    explicit BatchPanel(CommandRouter &router);

    // TTLpXX_Click: output index + 1 pulsed for .3.
    void sendPulse(int index);
    // Command2_Click.
    void sendBatchOn();
    // Command3_Click.
    void sendBatchOff();

private:
    CommandRouter &m_router;
};

} // namespace kalveno
