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
{
    m_retry.setInterval(RetryMs);
    QObject::connect(&m_retry, &QTimer::timeout, &m_retry, [this] { retry(); });
}

void SerialPortController::INP_COMM_NO_Change()
{
    m_retry.stop();
    m_serial.setPortOpen(false);
    setBackground(m_ui.INP_COMM_NO, open() ? VERT : ROUGE);
}

bool SerialPortController::open()
{
    // The number is held as a signed 16-bit integer; beyond that range it names no port.
    const auto number = LeadingNumber::parse(m_ui.INP_COMM_NO->text()).roundedIn(-32768, 32767);
    return number && m_serial.setCommPort(*number) &&
           m_serial.setSettings(m_ui.INP_COMM_CFG->text()) && m_serial.setPortOpen(true);
}

void SerialPortController::portLost()
{
    m_retry.start();
}

void SerialPortController::retry()
{
    if (m_serial.isOpen() || open())
        m_retry.stop();
}

void SerialPortController::INP_COMM_CFG_Change()
{
    INP_COMM_NO_Change();
}

} // namespace kalveno
