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

// Stands in for the turnstile's RFID reader on the serial port: completes a request frame
// from what the port delivers within one second, answers antenna selects and card queries, and
// says the simulated card lies on the antennas whose boxes are ticked. The current antenna is
// the only state, kept from one request to the next and across switching the simulator off.
class RfidSimulator final
{
public:
    static constexpr int FrameWaitMs = 1000;

    RfidSimulator(const RfidView &view, SerialControl &serial, SerialPortController &port,
                  Reporter &reporter);

    bool isOn() const;
    // One simulator step on a received text; the text is extended by the rest of its frame.
    void step(QByteArray &received);
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
