#include "serialportcontroller.h"

#include "model/linkstate.h"
#include "platform/serialcontrol.h"
#include "protocol/number.h"
#include "widgets/controls.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

SerialPortView SerialPortView::find(const QWidget *form)
{
    return {control<QLineEdit>(form, "INP_COMM_NO"), control<QLineEdit>(form, "INP_COMM_CFG")};
}

SerialPortController::SerialPortController(const SerialPortView &view, LinkState &link,
                                           SerialControl &serial)
    : m_view(view)
    , m_link(link)
    , m_serial(serial)
{
    m_retry.setInterval(RetryMs);
}

void SerialPortController::INP_COMM_NO_Change()
{
    m_retry.stop();
    m_serial.setPortOpen(false);
    const QString error = open();
    if (error.isEmpty())
        m_link.setUp(m_serial.device());
    else
        m_link.setDown(error);
}

QString SerialPortController::open()
{
    // The number is held as a signed 16-bit integer; beyond that range it names no port.
    const auto number = LeadingNumber::parse(m_view.INP_COMM_NO->text()).roundedIn(-32768, 32767);
    if (!number)
        return u"no port number %1"_s.arg(m_view.INP_COMM_NO->text());
    if (!m_serial.setCommPort(*number) || !m_serial.setSettings(m_view.INP_COMM_CFG->text()) ||
        !m_serial.setPortOpen(true))
        return m_serial.lastError();
    return {};
}

void SerialPortController::portLost()
{
    m_retry.start();
}

void SerialPortController::retry()
{
    if (m_serial.isOpen() || open().isEmpty())
        m_retry.stop();
}

void SerialPortController::INP_COMM_CFG_Change()
{
    INP_COMM_NO_Change();
}

void SerialPortController::setLineSettings(const QString &settings)
{
    m_view.INP_COMM_CFG->setText(settings);
}

} // namespace kalveno
