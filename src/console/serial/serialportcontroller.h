#pragma once

#include <QTimer>

namespace kalveno {

struct MainWindowUi;
class SerialControl;

// The serial port's configuration from the two fields of the serial frame. Every change of the
// port number or of the settings closes the port and opens it again; the outcome is painted
// into the port field, which is the only record of the port's state. When the device goes away
// under the open port, the field keeps its colour and the port is opened again, with the same
// number and settings, as soon as a device answers to that number: a USB adapter plugged back,
// a simulator restarted.
class SerialPortController final
{
public:
    static constexpr int RetryMs = 1000;

    SerialPortController(const MainWindowUi &ui, SerialControl &serial);

    void INP_COMM_NO_Change();
    void INP_COMM_CFG_Change();
    // The device went away; try again until it is back.
    void portLost();

private:
    bool open();
    void retry();

    const MainWindowUi &m_ui;
    SerialControl &m_serial;
    QTimer m_retry;
};

} // namespace kalveno
