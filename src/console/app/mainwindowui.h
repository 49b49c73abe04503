#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace kalveno {

class CaptionButton;
class PictureButton;
class TerminalBox;

// The controls of the main window, by their given names. Arrays are indexed from 0, as the
// window's control arrays are. The widgets belong to the design area they were built in.
struct MainWindowUi
{
    QWidget *designArea = nullptr;

    QGroupBox *FR_RS232 = nullptr;
    QLineEdit *INP_COMM_NO = nullptr;
    QLineEdit *INP_COMM_CFG = nullptr;
    std::array<QLabel *, 6> Label1{};
    TerminalBox *TXT_232_WIN = nullptr;
    CaptionButton *B_CLEAR_232 = nullptr;
    QCheckBox *SW_ECHO_232 = nullptr;

    QGroupBox *Frame1 = nullptr;
    QComboBox *INP_IP_PORT = nullptr;
    QLineEdit *INP_IP_ADR = nullptr;
    TerminalBox *TXT_TCP_WIN = nullptr;
    CaptionButton *B_CLEAR_TCP = nullptr;
    QCheckBox *SW_ECHO_TCP = nullptr;

    QGroupBox *FR_SEND_COM = nullptr;
    std::array<QRadioButton *, 3> SW_SEND_VIA{};
    CaptionButton *B_TST_SEND = nullptr;
    QLabel *AFF_TST_SEND = nullptr;
    QGroupBox *FR_TTL1_OUT = nullptr;
    QGroupBox *FR_TTL2_OUT = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *FR_TTL1_IN = nullptr;
    QGroupBox *Frame4 = nullptr;
    CaptionButton *B_STATUS = nullptr;
    CaptionButton *B_STATUS2 = nullptr;
    QCheckBox *SW_AUTO_ANSWER = nullptr;
    CaptionButton *B_TTL1_XX = nullptr;
    CaptionButton *B_TTL2_XX = nullptr;
    CaptionButton *B_TTL3_XX = nullptr;
    CaptionButton *B_TTL4_XX = nullptr;
    std::array<QRadioButton *, 2> SW_TTL1_OUT{};
    std::array<QRadioButton *, 2> SW_TTL2_OUT{};
    std::array<QRadioButton *, 2> SW_TTL3_OUT{};
    std::array<QRadioButton *, 2> SW_TTL4_OUT{};
    std::array<QRadioButton *, 2> SW_TTL1_IN{};
    std::array<QRadioButton *, 2> SW_TTL2_IN{};
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;

    QGroupBox *Frame5 = nullptr;
    CaptionButton *B_T_PASSAGE = nullptr;
    QLineEdit *INP_T_NB_PERSONNE = nullptr;
    std::array<QLabel *, 5> Label4{};
    QLineEdit *INP_T_TIMEOUT = nullptr;
    CaptionButton *Command4 = nullptr;
    CaptionButton *Command5 = nullptr;
    CaptionButton *Command1 = nullptr;
    CaptionButton *Command6 = nullptr;
    CaptionButton *B_T_VALID_TIMEOUT = nullptr;
    QLineEdit *INP_T_VALID_NBCARD = nullptr;
    QLineEdit *INP_T_VALID_TIMEOUT = nullptr;
    QComboBox *LST_T_MODE = nullptr;
    PictureButton *B_ZOOM_TEST = nullptr;
    QGroupBox *Frame6 = nullptr;
    CaptionButton *B_T_DirectCmd = nullptr;
    QCheckBox *SW_TOURN_ANSWER = nullptr;
    QGroupBox *Frame7 = nullptr;
    CaptionButton *B_T_DEL_R_XX = nullptr;
    CaptionButton *B_T_DEL_V_XX = nullptr;
    CaptionButton *B_T_BRAS_TOMBE = nullptr;
    QCheckBox *SW_T_DEL_V = nullptr;
    QCheckBox *SW_T_DEL_R = nullptr;

    QComboBox *SW_T_RFID_POLLING = nullptr;
    std::array<QLabel *, 4> Label5{};
    std::array<QLineEdit *, 3> INP_T_REMOTE_IP{};
    CaptionButton *B_T_RX_CFG_REMOTE = nullptr;
    CaptionButton *B_T_TX_CFG_REMOTE = nullptr;

    QCheckBox *SW_TOURNRFID = nullptr;
    std::array<QCheckBox *, 5> SW_TOURNRFID_CARTE{};

    QGroupBox *Frame8 = nullptr;
    std::array<CaptionButton *, 4> TTLpXX{};
    CaptionButton *Command2 = nullptr;
    CaptionButton *Command3 = nullptr;

    // Builds every control of the window in the design area, with its initial state.
    static MainWindowUi build(QWidget *designArea);
};

} // namespace kalveno
