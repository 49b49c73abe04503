#pragma once

#include "terminal/linkterminal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

class QWidget;

namespace kalveno {

class InputIndicators;
class LinkState;
class Reporter;
class RfidSimulator;
class SerialControl;
class TrafficRecord;

// The serial terminal and its controls.
struct SerialTerminalView
{
    TerminalView terminal; // TXT_232_WIN, SW_ECHO_232, B_CLEAR_232

    static SerialTerminalView find(const QWidget *form);
};

// The serial terminal: what arrives on the port is shown with the input status bytes taken
// out; typing and pasting are those of any terminal on a link. A tick reads everything waiting
// in one piece.
// Ticks run a few milliseconds after the port reports data, so that what arrives close together is
// shown in one append (each append costs a repaint), and at once when the port's read-ahead is
// full; nothing runs while the line is quiet. With the RFID simulator on, a tick also runs when the
// terminal has grown past the simulator's 500-character rule by typing, and a request frame
// that has not fully arrived is held back, without holding the window, until its announced
// length is there or a second has passed: then it is answered and shown in one piece; a held
// request is not answered once the port is another one or the simulator is off (it is shown as
// it came), nor after Clear (it goes with the rest). Nothing
// is read while the traffic record is backlogged: the bytes wait in the line, which the other
// end feels as flow control, and a tick runs once the backlog has cleared.
class SerialPoller final : public LinkTerminal
{
public:
    static constexpr qsizetype SimulatorCap = 500;
    static constexpr int GatherMs = 4;

    SerialPoller(const SerialTerminalView &view, const LinkState &link, SerialControl &serial,
                 InputIndicators &indicators, RfidSimulator &rfid, Reporter &reporter);

    // TIM_COMM_RX: a tick soon after the port reported data; and one when a request frame's
    // wait runs out.
    QTimer &timer() { return m_soon; }
    QTimer &frameTimer() { return m_frameWait; }
    void setRecord(const TrafficRecord *record) { m_record = record; }

    // The port has data: tick soon.
    void dataWaiting();
    void backlogCleared();
    // The terminal changed or the simulator was switched on: the 500-character rule may apply.
    void checkSimulatorCap();
    // The simulator was switched on or off.
    void simulatorSwitched();

    void TIM_COMM_RX_Timer();
    // CLEAR, a double-click on the terminal and its menu's Clear: the request being gathered
    // goes with the text.
    void B_CLEAR_232_Click();

private:
    // Lets go of a request being gathered, showing its bytes or not.
    void dropFrame(bool show);
    QString port() const;

    SerialControl &m_serial;
    InputIndicators &m_indicators;
    RfidSimulator &m_rfid;
    QTimer m_soon;
    QTimer m_frameWait;
    // A reader request frame gathered so far, on which port, and since when.
    QByteArray m_frame;
    QString m_framePort;
    QElapsedTimer m_frameClock;
    const TrafficRecord *m_record = nullptr;
    bool m_heldBack = false;
};

} // namespace kalveno
