#include "serialportcontroller.h"

#include "app/look.h"
#include "app/mainwindowui.h"
#include "platform/serialcontrol.h"
#include "protocol/number.h"

#include <QLineEdit>

namespace kalveno {

SerialPortController::SerialPortController(const MainWindowUi &ui, SerialControl &serial)
    : m_ui(ui)
    , m_serial(serial)
{}

void SerialPortController::INP_COMM_NO_Change()
{
    m_serial.setPortOpen(false);
    // The number is held as a signed 16-bit integer; beyond that range it names no port.
    const auto number = LeadingNumber::parse(m_ui.INP_COMM_NO->text()).roundedIn(-32768, 32767);
    const bool opened = number && m_serial.setCommPort(*number) &&
                        m_serial.setSettings(m_ui.INP_COMM_CFG->text()) &&
                        m_serial.setPortOpen(true);
    setBackground(m_ui.INP_COMM_NO, opened ? VERT : ROUGE);
}

void SerialPortController::INP_COMM_CFG_Change()
{
    INP_COMM_NO_Change();
}

} // namespace kalveno
