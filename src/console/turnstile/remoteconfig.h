#pragma once

#include <array>

class QComboBox;
class QLineEdit;
class QWidget;

namespace kalveno {

class CaptionButton;
class TurnstilePanel;

namespace turnstile {
struct ConfigReply;
}

// The frame "Remote bridge Tourniquet".
struct RemoteConfigView
{
    QComboBox *SW_T_RFID_POLLING = nullptr;
    // The addresses of remote antennas 2, 3 and 4.
    std::array<QLineEdit *, 3> INP_T_REMOTE_IP{};
    CaptionButton *B_T_RX_CFG_REMOTE = nullptr;
    CaptionButton *B_T_TX_CFG_REMOTE = nullptr;

    static RemoteConfigView find(const QWidget *form);
};

// Reads the turnstile's configuration ("RX Config"; the reply comes through the receive
// dispatcher) and writes back its polling setting and remote antenna addresses ("Save Config"),
// both as turnstile commands on the TCP link.
class RemoteConfig final
{
public:
    RemoteConfig(const RemoteConfigView &view, TurnstilePanel &turnstile);

    void B_T_RX_CFG_REMOTE_Click();
    void B_T_TX_CFG_REMOTE_Click();
    void showConfiguration(const turnstile::ConfigReply &reply);

private:
    RemoteConfigView m_view;
    TurnstilePanel &m_turnstile;
};

} // namespace kalveno
