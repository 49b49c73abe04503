#pragma once

#include <QTimer>

class QLineEdit;
class QWidget;

namespace kalveno {

class LinkState;
class Reporter;
class SerialControl;

// The serial port's fields in the frame "RS-232 COMMUNICATION".
struct SerialPortView
{
    QLineEdit *INP_COMM_NO = nullptr;
    QLineEdit *INP_COMM_CFG = nullptr;

    static SerialPortView find(const QWidget *form);
};

// The serial port's configuration from its two fields. Every change of the port number or of
// the settings, and a new device given to the number in use, closes the port and opens it
// again with the number resolved afresh; the outcome is the serial link's state, which the
// status bar and the field's tool tip tell, with the device the port holds.
//
// When the device goes away under the open port, the link keeps its state and the port is
// tried again every second, only as the device it was: when its number has come to name
// another device meanwhile (a simulator gone, whose link no longer overrides the board's
// port), the console keeps waiting and says so, and the technician decides by typing the
// number again or giving it to a port.
class SerialPortController final
{
public:
    static constexpr int RetryMs = 1000;

    SerialPortController(const SerialPortView &view, LinkState &link, SerialControl &serial,
                         Reporter &reporter);

    void INP_COMM_NO_Change();
    void INP_COMM_CFG_Change();
    // The number in use was given another device in kalveno.ini.
    void mappingChanged();
    // The device went away; try again until it is back.
    void portLost(const QString &reason);
    // Sets the settings text as typing it would: the port is opened again with it, and the
    // record says why.
    void setLineSettings(const QString &settings, const QString &why);

    QTimer &retryTimer() { return m_retry; }
    void retry();

private:
    void reinitialise(const QString &why);
    // The error of the first step that failed, or nothing when the port is open.
    QString open();
    QString opened() const;

    SerialPortView m_view;
    LinkState &m_link;
    SerialControl &m_serial;
    Reporter &m_reporter;
    QTimer m_retry;
    // Why the settings change, while setLineSettings changes them.
    QString m_settingsCause;
    // The other device the lost port's number names, once said.
    QString m_otherDevice;
};

} // namespace kalveno
