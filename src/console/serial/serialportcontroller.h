#pragma once

namespace kalveno {

struct MainWindowUi;
class SerialControl;

// The serial port's configuration from the two fields of the serial frame. Every change of the
// port number or of the settings closes the port and opens it again; the outcome is painted
// into the port field, which is the only record of the port's state.
class SerialPortController final
{
public:
    SerialPortController(const MainWindowUi &ui, SerialControl &serial);

    void INP_COMM_NO_Change();
    void INP_COMM_CFG_Change();

private:
    const MainWindowUi &m_ui;
    SerialControl &m_serial;
};

} // namespace kalveno
