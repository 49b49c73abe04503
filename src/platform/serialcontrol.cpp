#include "serialcontrol.h"

#include "serialports.h"
#include "trafficrecord.h"

#include <QFileInfo>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

namespace kalveno {

SerialControl::SerialControl(DeviceForNumber deviceForNumber, StableNameOf stableName,
                             QObject *parent)
    : QObject(parent)
    , m_deviceForNumber(std::move(deviceForNumber))
    , m_stableNameOf(stableName ? std::move(stableName)
                                : [](const QString &device) { return stableNameOf(device); })
{
    // A read hands over at most this much, so that a burst is shown in pieces between which the
    // window stays responsive.
    m_port.setReadBufferSize(ReadChunk);
    connect(&m_port, &QIODevice::readyRead, this, &SerialControl::dataWaiting);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

void SerialControl::setRecord(TrafficRecord *record)
{
    m_record = record;
    m_events.setRecord(record);
}

bool SerialControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        return true;
    }
    if (m_port.isOpen()) {
        m_lastError = u"port already open"_s;
        return false;
    }
    if (m_port.portName().isEmpty()) {
        m_lastError = u"no port number"_s;
        return false;
    }
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastError = m_port.errorString();
        recordEvent(u"cannot open %1: %2"_s.arg(m_device, m_lastError));
        return false;
    }
    if (!applySettings()) {
        m_port.close();
        recordEvent(u"cannot open %1: %2"_s.arg(m_device, m_lastError));
        return false;
    }
    // A lost port comes back only as the device it was, whose stable name it keeps.
    if (!m_lost)
        m_stableName = m_stableNameOf(m_device);
    recordEvent((m_lost ? u"reopened %1"_s : u"opened %1"_s).arg(m_device));
    m_lost = false;
    return true;
}

void SerialControl::close(const QString &why)
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    recordEvent(u"closed: "_s + why);
}

bool SerialControl::setCommPort(qint64 number)
{
    if (m_port.isOpen()) {
        m_lastError = u"port is open"_s;
        return false;
    }
    m_number = number;
    m_linkName = linkname::serialPort(number);
    m_lost = false;
    if (number < 1 || number > 32767) {
        m_device.clear();
        m_port.setPortName({});
        m_lastError = u"no port has the number %1 (1 to 32767)"_s.arg(number);
        recordEvent(u"cannot open: "_s + m_lastError);
        return false;
    }
    m_device = m_deviceForNumber(int(number));
    m_port.setPortName(m_device);
    return true;
}

bool SerialControl::setSettings(QStringView text)
{
    const auto settings = parseSerialSettings(text);
    if (!settings) {
        m_lastError =
            u"settings \"%1\" refused: they read baud,parity,data,stop, as 9600,N,8,1"_s.arg(text);
        recordEvent(u"cannot open %1: %2"_s.arg(m_device, m_lastError));
        return false;
    }
    m_settings = *settings;
    m_settingsText = text.toString();
    return !m_port.isOpen() || applySettings();
}

bool SerialControl::applySettings()
{
    static constexpr QSerialPort::Parity Parities[] = {
        QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity,
        QSerialPort::MarkParity, QSerialPort::SpaceParity};
    static constexpr QSerialPort::StopBits Stops[] = {
        QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop};
    const bool ok = m_port.setBaudRate(m_settings.baudRate) &&
                    m_port.setParity(Parities[m_settings.parity]) &&
                    m_port.setDataBits(QSerialPort::DataBits(m_settings.dataBits)) &&
                    m_port.setStopBits(Stops[m_settings.stopBits]) &&
                    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok)
        m_lastError = u"settings \"%1\" refused: %2"_s.arg(m_settingsText, m_port.errorString());
    return ok;
}

QString SerialControl::description() const
{
    if (m_device.isEmpty())
        return m_linkName;
    if (m_stableName.isEmpty() || m_stableName == m_device)
        return u"%1 (%2)"_s.arg(m_linkName, m_device);
    return u"%1 (%2, %3)"_s.arg(m_linkName, m_device, m_stableName);
}

SerialControl::Return SerialControl::reopenLost(QString *now)
{
    const QString device = m_deviceForNumber(int(m_number));
    *now = device;
    // Another adapter may have been plugged in where the lost one was.
    if (device == m_device && !m_stableName.isEmpty() && QFileInfo::exists(device)) {
        const QString stable = m_stableNameOf(device);
        if (stable != m_stableName)
            *now = stable.isEmpty() ? u"another device at "_s + device : stable;
    }
    if (*now != m_device) {
        recordEvent(u"not opened again: %1 now names %2"_s.arg(m_number).arg(*now));
        return Return::OtherDevice;
    }
    return setPortOpen(true) ? Return::Reopened : Return::Away;
}

bool SerialControl::input(QByteArray *bytes)
{
    if (!m_port.isOpen()) {
        m_lastError = u"port not open"_s;
        return false;
    }
    *bytes = m_port.readAll();
    if (m_record && !bytes->isEmpty())
        m_record->received(m_linkName, *bytes);
    return true;
}

bool SerialControl::output(const QByteArray &bytes, const QString &note)
{
    if (!m_port.isOpen()) {
        m_lastError = u"port not open"_s;
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        m_lastError = m_port.errorString();
        return false;
    }
    // Queued bytes would otherwise wait for the event loop; send what the line takes now.
    const QScopedValueRollback flushing(m_flushing, true);
    m_port.flush();
    if (m_record)
        m_record->sent(m_linkName, bytes, note);
    return true;
}

void SerialControl::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    // A line that takes no more bytes for now refuses a flush with a resource error: the rest
    // goes out as it drains. Only a failed read says that the device has gone.
    if (m_flushing) {
        m_port.clearError();
        return;
    }
    if (!m_port.isOpen())
        return;
    const QString reason = m_port.errorString();
    m_port.close();
    m_lastError = reason;
    m_lost = true;
    recordEvent(u"lost: "_s + reason);
    Q_EMIT portLost(reason);
}

void SerialControl::recordEvent(const QString &what)
{
    m_events.add(m_linkName, what);
}

} // namespace kalveno
