#pragma once

#include <QByteArray>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace kalveno {

class CaptionButton;
class PickList;
class Reporter;
class TcpControl;
class TestViewHost;

namespace turnstile {
struct ConfigReply;
}

// The turnstile's controls in the frame "Tourniquet Merixo".
struct TurnstileView
{
    CaptionButton *B_T_PASSAGE = nullptr;
    QLineEdit *INP_T_NB_PERSONNE = nullptr;
    QLineEdit *INP_T_TIMEOUT = nullptr;
    CaptionButton *singlePassageWithDelay = nullptr; // Command4
    CaptionButton *singlePassageNoDelay = nullptr;   // Command5
    CaptionButton *firstThenTypedPassage = nullptr;  // Command1, hidden
    CaptionButton *okRedLedThreeSeconds = nullptr;   // Command6
    CaptionButton *B_T_VALID_TIMEOUT = nullptr;
    QLineEdit *INP_T_VALID_TIMEOUT = nullptr;
    QLineEdit *INP_T_VALID_NBCARD = nullptr;
    PickList *LST_T_MODE = nullptr;
    CaptionButton *B_T_DirectCmd = nullptr;
    QCheckBox *SW_TOURN_ANSWER = nullptr;
    CaptionButton *B_T_DEL_R_XX = nullptr;
    CaptionButton *B_T_DEL_V_XX = nullptr;
    CaptionButton *B_T_BRAS_TOMBE = nullptr;
    QCheckBox *SW_T_DEL_R = nullptr;
    QCheckBox *SW_T_DEL_V = nullptr;

    static TurnstileView find(const QWidget *form);
};

// The turnstile frame: every command goes as plain text straight to the TCP link, without the
// bridge frame and whatever link is chosen for bridge commands. Numbers typed into the frame
// travel as two-digit fields. A command that cannot leave because the link is not connected is
// reported.
class TurnstilePanel final
{
public:
    TurnstilePanel(const TurnstileView &view, TcpControl &tcp, TestViewHost &testView,
                   Reporter &reporter);

    void B_T_BRAS_TOMBE_Click();
    void B_T_DEL_R_XX_Click();
    void B_T_DEL_V_XX_Click();
    void B_T_DirectCmd_Click();
    void B_T_PASSAGE_Click();
    void B_T_VALID_TIMEOUT_Click();
    // Command1 (hidden): "><IP0100", then the passage as typed.
    void sendFirstThenTypedPassage();
    // Command4: one person in total within the typed delay.
    void sendSinglePassageWithDelay();
    // Command5: one person without delay.
    void sendSinglePassageNoDelay();
    // Command6: "OK" and the red LED for three seconds.
    void sendOkRedLedThreeSeconds();
    void LST_T_MODE_Click();
    void SW_T_DEL_R_Click();
    void SW_T_DEL_V_Click();

    // The receive dispatcher's share: the automatic answer to every chunk, and the fields of a
    // configuration reply that belong to this frame.
    bool autoAnswerOn() const;
    void autoAnswer();
    void showConfiguration(const turnstile::ConfigReply &reply);

    // Writes one command to the TCP link; false, with a report, when it did not leave.
    bool send(const QByteArray &command);

private:
    TurnstileView m_view;
    TcpControl &m_tcp;
    TestViewHost &m_testView;
    Reporter &m_reporter;
};

} // namespace kalveno
