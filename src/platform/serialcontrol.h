#pragma once

#include "protocol/serialsettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

#include <functional>

namespace kalveno {

class TrafficRecord;

// The console's serial port, with the operations of the communications control it was designed
// around: open and close, a port number, a settings text, a read of everything waiting and a
// write. Each operation reports failure by its result. Unlike that control it also announces
// waiting data, so that reading need not poll; and when the device goes away under an open port
// it closes the port at once instead of failing every read (Qt would spin a core on the errors).
// Every chunk read or written, and the port's opening, loss and return, go into the traffic
// record under the link name "COM<number>".
class SerialControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialControl)

public:
    using DeviceForNumber = std::function<QString(int)>;
    static constexpr qint64 ReadChunk = 64 * 1024;

    explicit SerialControl(DeviceForNumber deviceForNumber, QObject *parent = nullptr);

    void setRecord(TrafficRecord *record) { m_record = record; }
    QString linkName() const { return m_linkName; }

    bool setPortOpen(bool open);
    bool isOpen() const { return m_port.isOpen(); }
    // Fails for a number that names no port: below 1 or beyond the 16-bit range.
    bool setCommPort(qint64 number);
    // Fails for a settings text the port cannot take.
    bool setSettings(QStringView text);
    QString device() const { return m_device; }

    // Everything waiting, removed from the receive buffer; fails when the port is not open.
    bool input(QByteArray *bytes);
    // How many bytes wait to be read; the port reads ahead no further than ReadChunk.
    qint64 bytesWaiting() const { return m_port.isOpen() ? m_port.bytesAvailable() : 0; }
    // Hands the bytes to the line, unchanged and in order; fails when the port is not open. The
    // note, when given, says what the bytes are in the record.
    bool output(const QByteArray &bytes, const QString &note = {});

    QString lastError() const { return m_lastError; }

Q_SIGNALS:
    void dataWaiting();
    void portLost(const QString &reason);

private:
    bool applySettings();
    void onError(QSerialPort::SerialPortError error);
    void recordEvent(const QString &what);

    DeviceForNumber m_deviceForNumber;
    QSerialPort m_port;
    QString m_device;
    SerialSettings m_settings;
    QString m_lastError;
    QString m_linkName;
    bool m_lost = false;
    TrafficRecord *m_record = nullptr;
};

} // namespace kalveno
