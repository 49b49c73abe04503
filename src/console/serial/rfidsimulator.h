#pragma once

#include <QByteArray>

namespace kalveno {

struct MainWindowUi;
class SerialControl;
class StatusLine;

// Stands in for the turnstile's RFID reader on the serial port: completes a request frame
// from what the port delivers within one second, answers antenna selects and card queries, and
// says the simulated card lies on the antennas whose boxes are ticked. The current antenna is
// the only state, kept from one request to the next and across switching the simulator off.
class RfidSimulator final
{
public:
    static constexpr int FrameWaitMs = 1000;

    RfidSimulator(const MainWindowUi &ui, SerialControl &serial, StatusLine &status);

    // One simulator step on a received text; the text is extended by the rest of its frame.
    void step(QByteArray &received);
    void SW_TOURNRFID_Click();

    int currentAntenna() const { return m_antenna; }

private:
    void reply(const QByteArray &frame);

    const MainWindowUi &m_ui;
    SerialControl &m_serial;
    StatusLine &m_status;
    quint8 m_antenna = 0;
};

} // namespace kalveno
