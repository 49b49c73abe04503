#pragma once

#include <QByteArray>
#include <QTimer>

class QCheckBox;
class QWidget;

namespace kalveno {

class CaptionButton;
class InputIndicators;
class LinkState;
class Reporter;
class RfidSimulator;
class SerialControl;
class TerminalBox;

// The serial terminal and its controls.
struct SerialTerminalView
{
    TerminalBox *TXT_232_WIN = nullptr;
    QCheckBox *SW_ECHO_232 = nullptr;
    CaptionButton *B_CLEAR_232 = nullptr;

    static SerialTerminalView find(const QWidget *form);
};

// The serial terminal: what arrives on the port is shown with the input status bytes taken
// out, typed keys leave one byte each. A tick reads everything waiting in one piece. Ticks run
// a few milliseconds after the port reports data, so that what arrives close together is shown
// in one append (each append costs a repaint), at once when the port's read-ahead is full, and
// on a slow timer so that the simulator's 500-character rule also applies when nothing
// arrives. Ticks never nest: the RFID step may wait on the port inside one.
class SerialPoller final
{
public:
    static constexpr qsizetype SimulatorCap = 500;
    static constexpr int IdleTickMs = 50;
    static constexpr int GatherMs = 4;

    SerialPoller(const SerialTerminalView &view, const LinkState &link, SerialControl &serial,
                 InputIndicators &indicators, RfidSimulator &rfid, Reporter &reporter);

    QTimer &timer() { return m_timer; }
    QTimer &gatherTimer() { return m_soon; }
    // The port has data: tick soon.
    void dataWaiting();

    void TIM_COMM_RX_Timer();
    void TXT_232_WIN_KeyPress(int &keyCode);
    void TXT_232_WIN_DblClick();
    void B_CLEAR_232_Click();

    // For the send test.
    const QByteArray &text() const;
    void clear();

private:
    SerialTerminalView m_view;
    const LinkState &m_link;
    SerialControl &m_serial;
    InputIndicators &m_indicators;
    RfidSimulator &m_rfid;
    Reporter &m_reporter;
    QTimer m_timer; // TIM_COMM_RX
    QTimer m_soon;
    bool m_ticking = false;
};

} // namespace kalveno
