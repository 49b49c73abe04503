#include "sendtest.h"

#include "app/look.h"
#include "app/mainwindowui.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "widgets/captionbutton.h"
#include "widgets/terminalbox.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace kalveno {

SendTest::SendTest(QWidget *form, const MainWindowUi &ui, SerialControl &serial, TcpControl &tcp)
    : m_form(form)
    , m_ui(ui)
    , m_serial(serial)
    , m_tcp(tcp)
{}

QByteArray SendTest::pattern()
{
    QByteArray digits(1000, Qt::Uninitialized);
    for (int i = 0; i < digits.size(); ++i)
        digits[i] = char('0' + i % 10);
    return digits;
}

void SendTest::B_TST_SEND_Click()
{
    if (m_running || !isUp(m_ui.INP_IP_ADR) || !isUp(m_ui.INP_COMM_NO))
        return;
    m_running = true;
    m_aborted = false;
    m_form->setEnabled(false);
    m_ui.B_TST_SEND->hide();
    m_ui.AFF_TST_SEND->show();
    m_ui.B_TST_SEND->setFaceColour(VERT);
    m_form->repaint();
    m_ui.TXT_232_WIN->setBytes({});
    m_ui.TXT_TCP_WIN->setBytes({});

    const QByteArray digits = pattern();
    for (int pass = 1; pass <= Passes && !m_aborted; ++pass) {
        m_ui.AFF_TST_SEND->setText(QString::number(Passes + 1 - pass));
        // A write that fails shows up as a mismatch.
        m_serial.output(digits);
        m_tcp.sendData(digits);
        const bool settled = waitForQuiet();
        const QByteArray &serial = m_ui.TXT_232_WIN->bytes();
        if (!settled || serial.isEmpty() || m_ui.TXT_TCP_WIN->bytes() != serial)
            m_ui.B_TST_SEND->setFaceColour(ROUGE);
        // The result is red whatever follows; give the window back.
        if (!settled)
            break;
    }

    m_form->setEnabled(true);
    m_ui.B_TST_SEND->show();
    m_ui.AFF_TST_SEND->hide();
    m_ui.B_CLEAR_TCP->setFocus();
    m_running = false;
}

bool SendTest::waitForQuiet()
{
    // "WAIT" as the last seen text of both terminals makes the first look count as a change.
    QByteArray lastTcp = "WAIT";
    QByteArray lastSerial = "WAIT";
    QElapsedTimer pass;
    pass.start();
    while (m_ui.TXT_TCP_WIN->bytes() != lastTcp || m_ui.TXT_232_WIN->bytes() != lastSerial) {
        if (m_aborted || pass.elapsed() >= PassLimitMs)
            return false;
        lastTcp = m_ui.TXT_TCP_WIN->bytes();
        lastSerial = m_ui.TXT_232_WIN->bytes();
        yieldFor(QuietMs);
    }
    return true;
}

void SendTest::yieldFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kalveno
