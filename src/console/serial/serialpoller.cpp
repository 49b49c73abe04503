#include "serialpoller.h"

#include "platform/serialcontrol.h"
#include "platform/trafficrecord.h"
#include "protocol/rfid.h"
#include "receive/inputindicators.h"
#include "serial/rfidsimulator.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>

using namespace Qt::StringLiterals;

namespace kalveno {

SerialTerminalView SerialTerminalView::find(const QWidget *form)
{
    return {.terminal = {.box = control<TerminalBox>(form, "TXT_232_WIN"),
                         .echo = control<QCheckBox>(form, "SW_ECHO_232"),
                         .clear = control<CaptionButton>(form, "B_CLEAR_232")}};
}

SerialPoller::SerialPoller(const SerialTerminalView &view, const LinkState &link,
                           SerialControl &serial, InputIndicators &indicators, RfidSimulator &rfid,
                           Reporter &reporter)
    : LinkTerminal(view.terminal,
                   {.state = link,
                    .write = [&serial](const QByteArray &bytes) { return serial.output(bytes); },
                    .lastError = [&serial] { return serial.lastError(); },
                    .name = u"serial"_s,
                    .notUp = u"serial port is not open"_s},
                   reporter)
    , m_serial(serial)
    , m_indicators(indicators)
    , m_rfid(rfid)
{
    m_soon.setSingleShot(true);
    m_soon.setInterval(GatherMs);
    m_frameWait.setSingleShot(true);
}

void SerialPoller::dataWaiting()
{
    // The port stops reading once it holds a full chunk: show it now rather than hold up the line.
    if (m_serial.bytesWaiting() >= SerialControl::ReadChunk)
        TIM_COMM_RX_Timer();
    else if (!m_soon.isActive())
        m_soon.start();
}

void SerialPoller::backlogCleared()
{
    // The port reports no data that it already holds.
    if (std::exchange(m_heldBack, false))
        TIM_COMM_RX_Timer();
}

void SerialPoller::checkSimulatorCap()
{
    if (m_rfid.isOn() && text().size() > SimulatorCap && !m_soon.isActive())
        m_soon.start();
}

void SerialPoller::simulatorSwitched()
{
    if (!m_rfid.isOn())
        dropFrame(true);
    checkSimulatorCap();
}

void SerialPoller::dropFrame(bool show)
{
    m_frameWait.stop();
    m_frameClock.invalidate();
    const QByteArray held = std::exchange(m_frame, {});
    if (show && !held.isEmpty())
        append(m_indicators.UPDATE_TTL_IN(held));
}

QString SerialPoller::port() const
{
    return m_serial.linkName() + u' ' + m_serial.device();
}

void SerialPoller::TIM_COMM_RX_Timer()
{
    m_soon.stop();
    m_frameWait.stop();
    if (m_record && m_record->isBacklogged()) {
        m_heldBack = true;
        return;
    }
    // A request begun on a port that has been changed for another is not answered on the new
    // one.
    if (!m_frame.isEmpty() && m_framePort != port())
        dropFrame(true);
    QByteArray received;
    m_serial.input(&received);
    if (!m_frame.isEmpty())
        received.prepend(std::exchange(m_frame, {}));
    if (m_rfid.isOn()) {
        if (!received.isEmpty()) {
            // A request that has not fully arrived waits for the rest, for at most a second
            // from its first byte, while the window goes on.
            if (!m_frameClock.isValid())
                m_frameClock.start();
            const qint64 waited = m_frameClock.elapsed();
            if (received.size() < rfid::announcedLength(received) &&
                waited < RfidSimulator::FrameWaitMs) {
                m_frame = received;
                m_framePort = port();
                m_frameWait.start(int(RfidSimulator::FrameWaitMs - waited));
                return;
            }
            m_frameClock.invalidate();
            m_rfid.answer(received);
        }
        // Emptied whole, before the new text is added, so it may hold more until the next tick.
        if (text().size() > SimulatorCap)
            clear();
    }
    m_frameClock.invalidate();
    if (!received.isEmpty())
        append(m_indicators.UPDATE_TTL_IN(received));
}

void SerialPoller::B_CLEAR_232_Click()
{
    dropFrame(false);
    clear();
}

} // namespace kalveno
