#include "serialportcontroller.h"

#include "model/linkstate.h"
#include "model/reporter.h"
#include "platform/serialcontrol.h"
#include "protocol/number.h"
#include "widgets/controls.h"

#include <QLineEdit>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

namespace kalveno {

SerialPortView SerialPortView::find(const QWidget *form)
{
    return {.INP_COMM_NO = control<QLineEdit>(form, "INP_COMM_NO"),
            .INP_COMM_CFG = control<QLineEdit>(form, "INP_COMM_CFG")};
}

SerialPortController::SerialPortController(const SerialPortView &view, LinkState &link,
                                           SerialControl &serial, Reporter &reporter)
    : m_view(view)
    , m_link(link)
    , m_serial(serial)
    , m_reporter(reporter)
{
    m_retry.setInterval(RetryMs);
}

void SerialPortController::INP_COMM_NO_Change()
{
    reinitialise(u"the port number changed to \"%1\""_s.arg(m_view.INP_COMM_NO->text()));
}

void SerialPortController::INP_COMM_CFG_Change()
{
    reinitialise(m_settingsCause.isEmpty()
                     ? u"the settings changed to \"%1\""_s.arg(m_view.INP_COMM_CFG->text())
                     : m_settingsCause);
}

void SerialPortController::mappingChanged()
{
    reinitialise(u"port %1 was given another device"_s.arg(m_serial.number()));
}

void SerialPortController::setLineSettings(const QString &settings, const QString &why)
{
    const QScopedValueRollback cause(m_settingsCause, why);
    m_view.INP_COMM_CFG->setText(settings);
}

void SerialPortController::reinitialise(const QString &why)
{
    m_retry.stop();
    m_otherDevice.clear();
    const QString closed =
        m_serial.isOpen() ? u"%1 closed: %2; "_s.arg(m_serial.description(), why) : QString();
    m_serial.close(why);
    const QString error = open();
    if (error.isEmpty())
        m_link.setUp(opened());
    else
        m_link.setDown(error);
    m_reporter.report(closed + m_link.reason());
}

QString SerialPortController::open()
{
    const QString typed = m_view.INP_COMM_NO->text();
    // A number beyond any range still names no port; the serial control says so.
    const qint64 number = LeadingNumber::parse(typed)
                              .roundedIn(-(qint64(1) << 62), qint64(1) << 62)
                              .value_or(qint64(1) << 62);
    if (m_serial.setCommPort(number) && m_serial.setSettings(m_view.INP_COMM_CFG->text()) &&
        m_serial.setPortOpen(true))
        return {};
    if (typed.trimmed().isEmpty())
        return u"no port number in \"COMM:\": type the serial port's number there, 1 for the "
               "first"_s;
    return m_serial.description() + u" not open: "_s + m_serial.lastError();
}

QString SerialPortController::opened() const
{
    return u"%1 open at %2"_s.arg(m_serial.description(), m_view.INP_COMM_CFG->text());
}

void SerialPortController::portLost(const QString &reason)
{
    // The field keeps its colour, as it always did; its tip and the status bar tell the rest.
    m_link.setUp(u"%1 lost: %2; waiting for it to come back"_s.arg(m_serial.description(), reason));
    m_reporter.report(m_link.reason());
    m_retry.start();
}

void SerialPortController::retry()
{
    if (m_serial.isOpen()) {
        m_retry.stop();
        return;
    }
    QString now;
    switch (m_serial.reopenLost(&now)) {
    case SerialControl::Return::Reopened:
        m_retry.stop();
        m_link.setUp(opened());
        m_reporter.report(
            u"%1 reopened at %2"_s.arg(m_serial.description(), m_view.INP_COMM_CFG->text()));
        break;
    case SerialControl::Return::OtherDevice:
        if (now != m_otherDevice) {
            m_otherDevice = now;
            m_link.setUp(u"%1 lost; %2 now names %3: type the number again or pick the port to "
                         "switch"_s.arg(m_serial.description())
                             .arg(m_serial.number())
                             .arg(now));
            m_reporter.report(m_link.reason());
        }
        break;
    case SerialControl::Return::Away:
        break;
    }
}

} // namespace kalveno
