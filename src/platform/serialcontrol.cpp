#include "serialcontrol.h"

#include "trafficrecord.h"

using namespace Qt::StringLiterals;

namespace kalveno {

SerialControl::SerialControl(DeviceForNumber deviceForNumber, QObject *parent)
    : QObject(parent)
    , m_deviceForNumber(std::move(deviceForNumber))
{
    // A read hands over at most this much, so that a burst is shown in pieces between which the
    // window stays responsive.
    m_port.setReadBufferSize(ReadChunk);
    connect(&m_port, &QIODevice::readyRead, this, &SerialControl::dataWaiting);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialControl::onError);
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
        if (!m_lost)
            recordEvent(u"cannot open %1: %2"_s.arg(m_device, m_lastError));
        return false;
    }
    if (!applySettings()) {
        m_port.close();
        return false;
    }
    recordEvent((m_lost ? u"reopened %1"_s : u"opened %1"_s).arg(m_device));
    m_lost = false;
    return true;
}

bool SerialControl::setCommPort(qint64 number)
{
    if (m_port.isOpen()) {
        m_lastError = u"port is open"_s;
        return false;
    }
    if (number < 1 || number > 32767) {
        m_lastError = u"invalid port number %1"_s.arg(number);
        return false;
    }
    m_device = m_deviceForNumber(int(number));
    m_linkName = u"COM%1"_s.arg(number);
    m_lost = false;
    m_port.setPortName(m_device);
    return true;
}

bool SerialControl::setSettings(QStringView text)
{
    const auto settings = parseSerialSettings(text);
    if (!settings) {
        m_lastError = u"invalid settings \"%1\""_s.arg(text);
        return false;
    }
    m_settings = *settings;
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
        m_lastError = m_port.errorString();
    return ok;
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
    m_port.flush();
    if (m_record)
        m_record->sent(m_linkName, bytes, note);
    return true;
}

void SerialControl::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
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
    if (m_record)
        m_record->linkEvent(m_linkName, what);
}

} // namespace kalveno
