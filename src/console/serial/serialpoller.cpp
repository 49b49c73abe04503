#include "serialpoller.h"

#include "app/look.h"
#include "app/mainwindowui.h"
#include "app/statusline.h"
#include "decode/inputindicators.h"
#include "platform/serialcontrol.h"
#include "serial/rfidsimulator.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

SerialPoller::SerialPoller(const MainWindowUi &ui, SerialControl &serial,
                           InputIndicators &indicators, RfidSimulator &rfid, StatusLine &status)
    : m_ui(ui)
    , m_serial(serial)
    , m_indicators(indicators)
    , m_rfid(rfid)
    , m_status(status)
{
    m_timer.setInterval(IdleTickMs);
    m_soon.setSingleShot(true);
    m_soon.setInterval(GatherMs);
    QObject::connect(&m_soon, &QTimer::timeout, &m_soon, [this] { TIM_COMM_RX_Timer(); });
}

void SerialPoller::dataWaiting()
{
    // The port stops reading once it holds a full chunk: show it now rather than hold up the line.
    if (m_serial.bytesWaiting() >= SerialControl::ReadChunk)
        TIM_COMM_RX_Timer();
    else if (!m_soon.isActive())
        m_soon.start();
}

void SerialPoller::TIM_COMM_RX_Timer()
{
    if (m_ticking)
        return;
    m_ticking = true;
    m_soon.stop();
    QByteArray received;
    m_serial.input(&received);
    if (m_ui.SW_TOURNRFID->isChecked()) {
        if (!received.isEmpty())
            m_rfid.step(received);
        // Emptied whole, before the new text is added, so it may hold more until the next tick.
        if (m_ui.TXT_232_WIN->length() > SimulatorCap)
            m_ui.TXT_232_WIN->setBytes({});
    }
    if (!received.isEmpty())
        m_ui.TXT_232_WIN->append(m_indicators.UPDATE_TTL_IN(received));
    m_ticking = false;
}

void SerialPoller::TXT_232_WIN_KeyPress(int &keyCode)
{
    if (isUp(m_ui.INP_COMM_NO) && !m_serial.output(QByteArray(1, char(keyCode))))
        m_status.report(u"serial send failed: %1"_s.arg(m_serial.lastError()));
    if (!m_ui.SW_ECHO_232->isChecked())
        keyCode = 0;
}

void SerialPoller::TXT_232_WIN_DblClick()
{
    B_CLEAR_232_Click();
}

void SerialPoller::B_CLEAR_232_Click()
{
    m_ui.TXT_232_WIN->setBytes({});
}

} // namespace kalveno
