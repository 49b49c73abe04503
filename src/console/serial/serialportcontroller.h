#pragma once

#include <QTimer>

class QLineEdit;
class QWidget;

namespace kalveno {

class LinkState;
class SerialControl;

// The serial port's fields in the frame "RS-232 COMMUNICATION".
struct SerialPortView
{
    QLineEdit *INP_COMM_NO = nullptr;
    QLineEdit *INP_COMM_CFG = nullptr;

    static SerialPortView find(const QWidget *form);
};

// The serial port's configuration from its two fields. Every change of the port number or of
// the settings closes the port and opens it again; the outcome is the serial link's state.
// When the device goes away under the open port, the link keeps its state and the port is
// opened again, with the same number and settings, as soon as a device answers to that number:
// a USB adapter plugged back, a simulator restarted.
class SerialPortController final
{
public:
    static constexpr int RetryMs = 1000;

    SerialPortController(const SerialPortView &view, LinkState &link, SerialControl &serial);

    void INP_COMM_NO_Change();
    void INP_COMM_CFG_Change();
    // The device went away; try again until it is back.
    void portLost();
    // Sets the settings text as typing it would: the port is opened again with it.
    void setLineSettings(const QString &settings);

    QTimer &retryTimer() { return m_retry; }
    void retry();

private:
    // The error of the first step that failed, or nothing when the port is open.
    QString open();

    SerialPortView m_view;
    LinkState &m_link;
    SerialControl &m_serial;
    QTimer m_retry;
};

} // namespace kalveno
