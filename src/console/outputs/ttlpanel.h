#pragma once

#include <array>

class QRadioButton;
class QWidget;

namespace kalveno {

class CaptionButton;
class CommandRouter;
class PictureButton;
class TestViewHost;

// The four output frames, the STATUS buttons of the input frames, and the zoom picture.
struct TtlOutputsView
{
    // SW_TTL1_OUT to SW_TTL4_OUT: "ON" (0) and "OFF" (1) of each output.
    std::array<std::array<QRadioButton *, 2>, 4> SW_TTL_OUT{};
    // B_TTL1_XX to B_TTL4_XX, "ON 2 SECS.".
    std::array<CaptionButton *, 4> B_TTL_XX{};
    CaptionButton *B_STATUS = nullptr;
    CaptionButton *B_STATUS2 = nullptr;
    PictureButton *B_ZOOM_TEST = nullptr;

    static TtlOutputsView find(const QWidget *form);
};

// The operator's panel for the bridge's four TTL outputs and the two inputs' status requests:
// switch an output on or off, pulse it for two seconds, ask for an input's state. Every action
// builds one payload and hands it to the command router. The option pairs show what was last
// commanded, not what the bridge reports.
class TtlPanel final
{
public:
    TtlPanel(const TtlOutputsView &view, CommandRouter &router, TestViewHost &testView);

    // SW_TTL1_OUT_Click to SW_TTL4_OUT_Click: output 1 to 4, option 0 ("ON") or 1 ("OFF").
    void SW_TTL_OUT_Click(int output, int index);
    // B_TTL1_XX_Click to B_TTL4_XX_Click.
    void B_TTL_XX_Click(int output);
    // The TCP terminal's auto answer: the four two-second commands, outputs 1 to 4.
    void pulseAllOutputs();
    void B_STATUS_Click();
    void B_STATUS2_Click();
    void B_ZOOM_TEST_Click();

private:
    TtlOutputsView m_view;
    CommandRouter &m_router;
    TestViewHost &m_testView;
};

} // namespace kalveno
