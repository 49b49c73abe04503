#include "sendtest.h"

#include "model/linkstate.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "terminal/linkterminal.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/look.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kalveno {

SendTestView SendTestView::find(const QWidget *form)
{
    return {.B_TST_SEND = control<CaptionButton>(form, "B_TST_SEND"),
            .AFF_TST_SEND = control<QLabel>(form, "AFF_TST_SEND")};
}

SendTest::SendTest(QWidget *form, const SendTestView &view, const Links &links,
                   const Terminals &terminals)
    : m_form(form)
    , m_view(view)
    , m_links(links)
    , m_terminals(terminals)
{}

void SendTest::B_TST_SEND_Click()
{
    if (m_running || !m_links.tcpLink.isUp() || !m_links.serialLink.isUp())
        return;
    m_running = true;
    m_aborted = false;
    m_form->setEnabled(false);
    m_view.B_TST_SEND->hide();
    m_view.AFF_TST_SEND->show();
    m_view.B_TST_SEND->setFaceColour(VERT);
    m_form->repaint();
    m_terminals.serial.clear();
    m_terminals.tcp.clear();

    const QByteArray digits = sendtest::pattern();
    for (int pass = 1; pass <= Passes && !m_aborted; ++pass) {
        m_view.AFF_TST_SEND->setText(QString::number(Passes + 1 - pass));
        // A write that fails shows up as a mismatch.
        const QString note = u"send test pattern, pass %1 of %2"_s.arg(pass).arg(Passes);
        m_links.serial.output(digits, note);
        m_links.tcp.sendData(digits, note);
        const bool settled = waitForQuiet();
        const QByteArray &serial = m_terminals.serial.text();
        if (!settled || serial.isEmpty() || m_terminals.tcp.text() != serial)
            m_view.B_TST_SEND->setFaceColour(ROUGE);
        // The result is red whatever follows; give the window back.
        if (!settled)
            break;
    }

    m_form->setEnabled(true);
    m_view.B_TST_SEND->show();
    m_view.AFF_TST_SEND->hide();
    m_terminals.tcp.focusClearButton();
    m_running = false;
}

bool SendTest::waitForQuiet()
{
    // "WAIT" as the last seen text of both terminals makes the first look count as a change.
    QByteArray lastTcp = "WAIT";
    QByteArray lastSerial = "WAIT";
    QElapsedTimer pass;
    pass.start();
    while (m_terminals.tcp.text() != lastTcp || m_terminals.serial.text() != lastSerial) {
        if (m_aborted || pass.elapsed() >= PassLimitMs)
            return false;
        lastTcp = m_terminals.tcp.text();
        lastSerial = m_terminals.serial.text();
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
