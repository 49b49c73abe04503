#pragma once

#include <QTimer>

namespace kalveno {

struct MainWindowUi;
class InputIndicators;
class RfidSimulator;
class SerialControl;
class StatusLine;

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

    SerialPoller(const MainWindowUi &ui, SerialControl &serial, InputIndicators &indicators,
                 RfidSimulator &rfid, StatusLine &status);

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    QTimer &timer() { return m_timer; }
    // The port has data: tick soon.
    void dataWaiting();

    void TIM_COMM_RX_Timer();
    void TXT_232_WIN_KeyPress(int &keyCode);
    void TXT_232_WIN_DblClick();
    void B_CLEAR_232_Click();

private:
    const MainWindowUi &m_ui;
    SerialControl &m_serial;
    InputIndicators &m_indicators;
    RfidSimulator &m_rfid;
    StatusLine &m_status;
    QTimer m_timer; // TIM_COMM_RX
    QTimer m_soon;
    bool m_ticking = false;
};

} // namespace kalveno
