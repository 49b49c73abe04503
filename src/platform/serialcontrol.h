#pragma once

#include "linkevents.h"
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
// Every chunk read or written, and the port's opening, closing, refusals, loss and return, go
// into the traffic record under the link name "COM<number>".
//
// A port is opened as the device its number names at that moment: the path, and the stable
// name that path then leads to where the device has one. A lost port is opened again only as
// that same device; a number that has come to name another one meanwhile does not open it.
class SerialControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialControl)

public:
    using DeviceForNumber = std::function<QString(int)>;
    using StableNameOf = std::function<QString(const QString &)>;
    static constexpr qint64 ReadChunk = 64 * 1024;

    // What a lost port found when it was tried again.
    enum class Return { Reopened, Away, OtherDevice };

    explicit SerialControl(DeviceForNumber deviceForNumber, StableNameOf stableName = {},
                           QObject *parent = nullptr);

    void setRecord(TrafficRecord *record);
    QString linkName() const { return m_linkName; }

    bool setPortOpen(bool open);
    // Closes an open port and records why.
    void close(const QString &why);
    bool isOpen() const { return m_port.isOpen(); }
    // Fails for a number that names no port: below 1 or beyond the 16-bit range.
    bool setCommPort(qint64 number);
    // Fails for a settings text the port cannot take.
    bool setSettings(QStringView text);
    qint64 number() const { return m_number; }
    QString device() const { return m_device; }
    // "COM1 (/dev/pts/1)": the number and the device it named when it was set, with the device's
    // stable name when it has one of another name.
    QString description() const;

    // Tries a lost port again; `now` says what its number names when that is another device.
    Return reopenLost(QString *now);

    // Everything waiting, removed from the receive buffer; fails when the port is not open.
    bool input(QByteArray *bytes);
    // How many bytes wait to be read; the port reads ahead no further than ReadChunk.
    qint64 bytesWaiting() const { return m_port.isOpen() ? m_port.bytesAvailable() : 0; }
    // Hands the bytes to the line, unchanged and in order; fails when the port is not open. The
    // note, when given, says what the bytes are in the record.
    bool output(const QByteArray &bytes, const QString &note = {});

    QString lastError() const { return m_lastError; }
    // Writes into the record how often the last event repeated.
    void flushEvents() { m_events.flush(); }

Q_SIGNALS:
    void dataWaiting();
    void portLost(const QString &reason);

private:
    bool applySettings();
    void onError(QSerialPort::SerialPortError error);
    void recordEvent(const QString &what);

    DeviceForNumber m_deviceForNumber;
    StableNameOf m_stableNameOf;
    QSerialPort m_port;
    qint64 m_number = 0;
    QString m_device;
    QString m_stableName;
    SerialSettings m_settings;
    QString m_settingsText;
    QString m_lastError;
    QString m_linkName;
    bool m_lost = false;
    bool m_flushing = false;
    TrafficRecord *m_record = nullptr;
    LinkEvents m_events;
};

} // namespace kalveno
