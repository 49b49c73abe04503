#include "turnstilepanel.h"

#include "model/reporter.h"
#include "platform/tcpcontrol.h"
#include "protocol/turnstile.h"
#include "testview/testview.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/picklist.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

TurnstileView TurnstileView::find(const QWidget *form)
{
    return {.B_T_PASSAGE = control<CaptionButton>(form, "B_T_PASSAGE"),
            .INP_T_NB_PERSONNE = control<QLineEdit>(form, "INP_T_NB_PERSONNE"),
            .INP_T_TIMEOUT = control<QLineEdit>(form, "INP_T_TIMEOUT"),
            .singlePassageWithDelay = control<CaptionButton>(form, "Command4"),
            .singlePassageNoDelay = control<CaptionButton>(form, "Command5"),
            .firstThenTypedPassage = control<CaptionButton>(form, "Command1"),
            .okRedLedThreeSeconds = control<CaptionButton>(form, "Command6"),
            .B_T_VALID_TIMEOUT = control<CaptionButton>(form, "B_T_VALID_TIMEOUT"),
            .INP_T_VALID_TIMEOUT = control<QLineEdit>(form, "INP_T_VALID_TIMEOUT"),
            .INP_T_VALID_NBCARD = control<QLineEdit>(form, "INP_T_VALID_NBCARD"),
            .LST_T_MODE = control<PickList>(form, "LST_T_MODE"),
            .B_T_DirectCmd = control<CaptionButton>(form, "B_T_DirectCmd"),
            .SW_TOURN_ANSWER = control<QCheckBox>(form, "SW_TOURN_ANSWER"),
            .B_T_DEL_R_XX = control<CaptionButton>(form, "B_T_DEL_R_XX"),
            .B_T_DEL_V_XX = control<CaptionButton>(form, "B_T_DEL_V_XX"),
            .B_T_BRAS_TOMBE = control<CaptionButton>(form, "B_T_BRAS_TOMBE"),
            .SW_T_DEL_R = control<QCheckBox>(form, "SW_T_DEL_R"),
            .SW_T_DEL_V = control<QCheckBox>(form, "SW_T_DEL_V")};
}

TurnstilePanel::TurnstilePanel(const TurnstileView &view, TcpControl &tcp, TestViewHost &testView,
                               Reporter &reporter)
    : m_view(view)
    , m_tcp(tcp)
    , m_testView(testView)
    , m_reporter(reporter)
{}

bool TurnstilePanel::send(const QByteArray &command)
{
    if (m_tcp.state() != TcpControl::Connected) {
        m_reporter.report(u"not sent: TCP link is down"_s);
        return false;
    }
    if (!m_tcp.sendData(command)) {
        m_reporter.report(u"TCP send failed: %1"_s.arg(m_tcp.lastError()));
        return false;
    }
    return true;
}

void TurnstilePanel::B_T_BRAS_TOMBE_Click()
{
    send(turnstile::ArmDrop.toByteArray());
}

void TurnstilePanel::B_T_DEL_R_XX_Click()
{
    send(turnstile::RedLedTwoSeconds.toByteArray());
    // Clearing the box from code raises its click only when it was ticked: the LED goes off.
    if (m_view.SW_T_DEL_R->isChecked()) {
        m_view.SW_T_DEL_R->setChecked(false);
        SW_T_DEL_R_Click();
    }
}

void TurnstilePanel::B_T_DEL_V_XX_Click()
{
    send(turnstile::GreenLedTwoSeconds.toByteArray());
    if (m_view.SW_T_DEL_V->isChecked()) {
        m_view.SW_T_DEL_V->setChecked(false);
        SW_T_DEL_V_Click();
    }
}

void TurnstilePanel::B_T_DirectCmd_Click()
{
    send(turnstile::directCommand());
    if (m_view.SW_T_DEL_R->isChecked()) {
        m_view.SW_T_DEL_R->setChecked(false);
        SW_T_DEL_R_Click();
    }
}

void TurnstilePanel::B_T_PASSAGE_Click()
{
    send(turnstile::passage(m_view.INP_T_TIMEOUT->text(), m_view.INP_T_NB_PERSONNE->text()));
}

void TurnstilePanel::B_T_VALID_TIMEOUT_Click()
{
    send(turnstile::validationTimeout(m_view.INP_T_VALID_TIMEOUT->text(),
                                      m_view.INP_T_VALID_NBCARD->text()));
}

void TurnstilePanel::sendFirstThenTypedPassage()
{
    send(turnstile::SinglePassageFirst.toByteArray());
    B_T_PASSAGE_Click();
}

void TurnstilePanel::sendSinglePassageWithDelay()
{
    send(turnstile::singlePassageWithDelay(m_view.INP_T_TIMEOUT->text()));
}

void TurnstilePanel::sendSinglePassageNoDelay()
{
    send(turnstile::SinglePassageNoDelay.toByteArray());
}

void TurnstilePanel::sendOkRedLedThreeSeconds()
{
    send(turnstile::RedLedThreeSecondsOk.toByteArray());
}

void TurnstilePanel::LST_T_MODE_Click()
{
    const QString mode = m_view.LST_T_MODE->currentText();
    send(turnstile::mode(mode));
    if (mode.startsWith(u'4'))
        m_testView.show();
}

void TurnstilePanel::SW_T_DEL_R_Click()
{
    send((m_view.SW_T_DEL_R->isChecked() ? turnstile::RedLedOn : turnstile::RedLedOff)
             .toByteArray());
}

void TurnstilePanel::SW_T_DEL_V_Click()
{
    send((m_view.SW_T_DEL_V->isChecked() ? turnstile::GreenLedOn : turnstile::GreenLedOff)
             .toByteArray());
}

bool TurnstilePanel::autoAnswerOn() const
{
    return m_view.SW_TOURN_ANSWER->isChecked();
}

void TurnstilePanel::autoAnswer()
{
    B_T_PASSAGE_Click();
    send(turnstile::autoAnswer(m_view.INP_T_TIMEOUT->text()));
}

void TurnstilePanel::showConfiguration(const turnstile::ConfigReply &reply)
{
    // Display updates only: setting the mode box's text raises no choice, so nothing is sent.
    m_view.LST_T_MODE->setEditText(reply.modeText);
    m_view.INP_T_TIMEOUT->setText(reply.timeToPass);
    m_view.INP_T_VALID_TIMEOUT->setText(reply.validationTimeout);
    m_view.INP_T_VALID_NBCARD->setText(reply.cardCount);
}

} // namespace kalveno
