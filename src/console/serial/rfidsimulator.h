#pragma once

#include <QByteArray>

#include <array>

class QCheckBox;
class QWidget;

namespace kalveno {

class Reporter;
class SerialControl;
class SerialPortController;

// The RFID reader simulator's boxes in Frame7.
struct RfidView
{
    QCheckBox *SW_TOURNRFID = nullptr;
    // On every antenna (0), on antenna 1 to 4 (1 to 4).
    std::array<QCheckBox *, 5> SW_TOURNRFID_CARTE{};

    static RfidView find(const QWidget *form);
};

// Stands in for the turnstile's RFID reader on the serial port: answers antenna selects and
// card queries, and says the simulated card lies on the antennas whose boxes are ticked. The
// serial poller gathers each request frame for it, for at most FrameWaitMs. The current antenna
// is the only state, kept from one request to the next and across switching the simulator off.
class RfidSimulator final
{
public:
    static constexpr int FrameWaitMs = 1000;

    RfidSimulator(const RfidView &view, SerialControl &serial, SerialPortController &port,
                  Reporter &reporter);

    bool isOn() const;
    // Answers the first request frame of a received text; the rest is not looked at.
    void answer(QByteArrayView received);
    void SW_TOURNRFID_Click();

    int currentAntenna() const { return m_antenna; }

private:
    void reply(const QByteArray &frame);

    RfidView m_view;
    SerialControl &m_serial;
    SerialPortController &m_port;
    Reporter &m_reporter;
    quint8 m_antenna = 0;
};

} // namespace kalveno
