#pragma once

#include <QByteArray>

#include <array>

class QRadioButton;

namespace kalveno {

struct MainWindowUi;
class CommandRouter;
class TestViewHost;

// The operator's panel for the bridge's four TTL outputs and two inputs: switch an output on
// or off, pulse it for two seconds, ask for an input's state, and the fixed pulse and batch
// commands. Every action builds one payload and hands it to the command router. The option
// pairs show what was last commanded, not what the bridge reports.
class TtlPanel final
{
public:
    TtlPanel(const MainWindowUi &ui, CommandRouter &router, TestViewHost &testView);

    void SW_TTL1_OUT_Click(int index) { outputClick(1, index); }
    void SW_TTL2_OUT_Click(int index) { outputClick(2, index); }
    void SW_TTL3_OUT_Click(int index) { outputClick(3, index); }
    void SW_TTL4_OUT_Click(int index) { outputClick(4, index); }
    void B_TTL1_XX_Click() { twoSeconds(1); }
    void B_TTL2_XX_Click() { twoSeconds(2); }
    void B_TTL3_XX_Click() { twoSeconds(3); }
    void B_TTL4_XX_Click() { twoSeconds(4); }
    void TTLpXX_Click(int index);
    void B_STATUS_Click();
    void B_STATUS2_Click();
    void Command2_Click();
    void Command3_Click();
    void B_ZOOM_TEST_Click();

private:
    void outputClick(int output, int index);
    void twoSeconds(int output);

    CommandRouter &m_router;
    TestViewHost &m_testView;
    std::array<std::array<QRadioButton *, 2>, 4> m_options;
};

} // namespace kalveno
