#include "inventory.h"

#include "protocol/turnstile.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/look.h"
#include "widgets/picklist.h"
#include "widgets/picturebutton.h"
#include "widgets/terminalbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

enum class Kind { Frame, Label, TextBox, Terminal, Button, CheckBox, Option, Combo, Picture };

enum Flag : unsigned {
    Bold = 1 << 0,
    Blue = 1 << 1,
    White = 1 << 2,
    Hidden = 1 << 3,
    Disabled = 1 << 4,
    Checked = 1 << 5,
    RightAligned = 1 << 6,
    Graphical = 1 << 7,
    Counter = 1 << 8, // the send test's count-down label
};

// One control: its name (and index in its control array, -1 for none), kind, container,
// caption or initial content, and place in twips relative to the container.
struct Row
{
    const char *name;
    int index;
    Kind kind;
    const char *parent;
    QStringView caption;
    int left, top, width, height;
    unsigned flags = 0;
    QStringView toolTip = {};
};

// Containers come before what they contain; within a container, controls are in reading order.
const Row Inventory[] = {
    {"FR_RS232", -1, Kind::Frame, "", u"RS-232 COMMUNICATION", 60, 30, 3555, 2865, Bold | Blue},
    {"Frame1", -1, Kind::Frame, "", u"TCPIP COMMUNICATION", 3720, 45, 3555, 2865, Bold | Blue},
    {"FR_SEND_COM", -1, Kind::Frame, "", u"SEND COMMANDS VIA:", 60, 2955, 7215, 2460, Bold | Blue},
    {"Frame5", -1, Kind::Frame, "", u"Tourniquet Merixo", 7320, 45, 6315, 5370, Bold | Blue},
    {"Frame8", -1, Kind::Frame, "", u"Bridge V3 Batch (ne pas toucher)", 75, 5520, 7215, 1215,
     Bold | Blue},
    {"FR_TTL1_OUT", -1, Kind::Frame, "FR_SEND_COM", u"TTL # 1  OUT", 270, 315, 2295, 765, Bold},
    {"FR_TTL2_OUT", -1, Kind::Frame, "FR_SEND_COM", u"TTL # 2  OUT", 2640, 315, 2295, 765, Bold},
    {"FR_TTL1_IN", -1, Kind::Frame, "FR_SEND_COM", u"", 5055, 315, 2040, 765, Bold | Disabled},
    {"Frame3", -1, Kind::Frame, "FR_SEND_COM", u"TTL # 3  OUT", 285, 1155, 2295, 765, Bold},
    {"Frame2", -1, Kind::Frame, "FR_SEND_COM", u"TTL # 4  OUT", 2655, 1155, 2295, 765, Bold},
    {"Frame4", -1, Kind::Frame, "FR_SEND_COM", u"", 5055, 1155, 2040, 765, Bold | Disabled},
    {"Frame6", -1, Kind::Frame, "Frame5", u"Remote bridge Tourniquet", 2460, 2250, 3735, 1950,
     Bold},
    {"Frame7", -1, Kind::Frame, "Frame5", u"Frame7", 60, 3975, 3180, 1350, Bold},

    {"INP_COMM_NO", -1, Kind::TextBox, "FR_RS232", u"", 645, 255, 585, 285},
    {"INP_COMM_CFG", -1, Kind::TextBox, "FR_RS232", u"9600,N,8,1", 1845, 255, 1620, 285},
    {"Label1", 0, Kind::Label, "FR_RS232", u"COMM:", 75, 315, 540, 195},
    {"Label1", 3, Kind::Label, "FR_RS232", u"CFG:", 1455, 315, 360, 195},
    {"TXT_232_WIN", -1, Kind::Terminal, "FR_RS232", u"", 75, 570, 3390, 1950},
    {"B_CLEAR_232", -1, Kind::Button, "FR_RS232", u"CLEAR", 2580, 2550, 900, 270},
    {"SW_ECHO_232", -1, Kind::CheckBox, "FR_RS232", u"Local Echo ON", 75, 2565, 1425, 240, Checked},

    {"INP_IP_PORT", -1, Kind::Combo, "Frame1", u"1024", 2520, 240, 945, 315, 0,
     u"1024 = COM1 and 1025 = COM2"},
    {"INP_IP_ADR", -1, Kind::TextBox, "Frame1", u"", 315, 255, 1815, 285},
    {"Label1", 2, Kind::Label, "Frame1", u"Port:", 2175, 300, 330, 195},
    {"Label1", 1, Kind::Label, "Frame1", u"IP:", 90, 315, 195, 195},
    {"TXT_TCP_WIN", -1, Kind::Terminal, "Frame1", u"", 75, 570, 3390, 1950},
    {"B_CLEAR_TCP", -1, Kind::Button, "Frame1", u"CLEAR", 2565, 2550, 900, 270},
    {"SW_ECHO_TCP", -1, Kind::CheckBox, "Frame1", u"Local Echo ON", 75, 2565, 1425, 240, Checked},

    {"SW_SEND_VIA", 2, Kind::Option, "FR_SEND_COM", u"RS-232", 2235, -15, 870, 285, Blue},
    {"SW_SEND_VIA", 0, Kind::Option, "FR_SEND_COM", u"TCP", 3225, -15, 660, 285, Blue | Checked},
    {"SW_SEND_VIA", 1, Kind::Option, "FR_SEND_COM", u"UDP", 4005, -15, 690, 285, Blue},
    {"B_TST_SEND", -1, Kind::Button, "FR_SEND_COM", u"TST SEND", 5940, 0, 1185, 270,
     Bold | Graphical},
    {"AFF_TST_SEND", -1, Kind::Label, "FR_SEND_COM", u"10", 6225, 0, 495, 315,
     Bold | Blue | Hidden | Counter},
    {"B_STATUS", -1, Kind::Button, "FR_SEND_COM", u"STATUS", 6135, 315, 885, 210},
    {"B_STATUS2", -1, Kind::Button, "FR_SEND_COM", u"STATUS", 6150, 1155, 885, 210},
    {"SW_AUTO_ANSWER", -1, Kind::CheckBox, "FR_SEND_COM", u"Auto Answer Test", 300, 2040, 1695, 270,
     0,
     u"Pulses the four outputs for 2 s at every change of the TCP terminal's text: each "
     u"received chunk, each echoed key, a clearing."},

    {"B_TTL1_XX", -1, Kind::Button, "FR_TTL1_OUT", u"ON 2 SECS.", 1365, 180, 855, 510},
    {"SW_TTL1_OUT", 0, Kind::Option, "FR_TTL1_OUT", u"ON", 75, 285, 570, 240},
    {"SW_TTL1_OUT", 1, Kind::Option, "FR_TTL1_OUT", u"OFF", 720, 300, 645, 240},
    {"B_TTL2_XX", -1, Kind::Button, "FR_TTL2_OUT", u"ON 2 SECS.", 1365, 180, 855, 510},
    {"SW_TTL2_OUT", 0, Kind::Option, "FR_TTL2_OUT", u"ON", 75, 285, 570, 240},
    {"SW_TTL2_OUT", 1, Kind::Option, "FR_TTL2_OUT", u"OFF", 720, 300, 645, 240},
    {"B_TTL3_XX", -1, Kind::Button, "Frame3", u"ON 2 SECS.", 1365, 180, 855, 510},
    {"SW_TTL3_OUT", 0, Kind::Option, "Frame3", u"ON", 75, 285, 570, 240},
    {"SW_TTL3_OUT", 1, Kind::Option, "Frame3", u"OFF", 720, 300, 645, 240},
    {"B_TTL4_XX", -1, Kind::Button, "Frame2", u"ON 2 SECS.", 1365, 180, 855, 510},
    {"SW_TTL4_OUT", 0, Kind::Option, "Frame2", u"ON", 75, 285, 570, 240},
    {"SW_TTL4_OUT", 1, Kind::Option, "Frame2", u"OFF", 720, 300, 645, 240},

    {"Label1", 4, Kind::Label, "FR_TTL1_IN", u"TTL # 1 IN (status)", 105, 0, 1650, 195, Bold},
    {"SW_TTL1_IN", 0, Kind::Option, "FR_TTL1_IN", u"ON", 210, 225, 570, 240},
    {"SW_TTL1_IN", 1, Kind::Option, "FR_TTL1_IN", u"OFF", 960, 240, 645, 240},
    {"Label2", -1, Kind::Label, "FR_TTL1_IN", u"Max: 10 pulses sec.", 105, 480, 1755, 240, White},
    {"Label1", 5, Kind::Label, "Frame4", u"TTL # 2 IN (status)", 105, 0, 1650, 195, Bold},
    {"SW_TTL2_IN", 0, Kind::Option, "Frame4", u"ON", 210, 225, 570, 240},
    {"SW_TTL2_IN", 1, Kind::Option, "Frame4", u"OFF", 960, 240, 645, 240},
    {"Label3", -1, Kind::Label, "Frame4", u"Max: 10 pulses sec.", 105, 480, 1755, 240, White},

    {"B_T_PASSAGE", -1, Kind::Button, "Frame5", u"Passage pour:", 75, 240, 1245, 345},
    {"INP_T_NB_PERSONNE", -1, Kind::TextBox, "Frame5", u"1", 1350, 255, 405, 330},
    {"Label4", 0, Kind::Label, "Frame5", u"personne(s) d\u00e9lais:", 1785, 285, 1380, 330},
    {"INP_T_TIMEOUT", -1, Kind::TextBox, "Frame5", u"5", 3255, 390, 405, 330},
    {"Label4", 1, Kind::Label, "Frame5", u"secondes pour passer", 3705, 420, 2220, 330},
    {"Command4", -1, Kind::Button, "Frame5", u"Passage pour 1 personne au total d\u00e9lais:", 75,
     600, 3060, 360},
    {"Command5", -1, Kind::Button, "Frame5", u"Passage 1 personne au aucun d\u00e9lais", 4470, 645,
     1740, 420},
    {"Command1", -1, Kind::Button, "Frame5", u"Passage pour 1 personne au total FONCTIONNE PAS !",
     75, 1095, 4650, 345, Hidden},
    {"Command6", -1, Kind::Button, "Frame5", u"Command6", 5010, 1200, 945, 375, 0,
     u"Sends OK><T6T03: an acknowledgement, then the red LED for 3 s."},
    {"B_T_VALID_TIMEOUT", -1, Kind::Button, "Frame5", u"Save Validation Timeout:", 45, 1500, 2250,
     345},
    {"INP_T_VALID_NBCARD", -1, Kind::TextBox, "Frame5", u"3", 4125, 1500, 405, 330},
    {"INP_T_VALID_TIMEOUT", -1, Kind::TextBox, "Frame5", u"3", 2340, 1515, 405, 330},
    {"Label4", 3, Kind::Label, "Frame5", u"cartes non valid\u00e9es.", 4575, 1530, 1455, 285},
    {"Label4", 2, Kind::Label, "Frame5", u"sec. offline apr\u00e8s:", 2775, 1545, 1380, 330},
    {"LST_T_MODE", -1, Kind::Combo, "Frame5", u"0 - Normal", 1575, 1935, 4185, 315},
    {"B_ZOOM_TEST", -1, Kind::Picture, "Frame5", u"", 5745, 1950, 285, 270, 0,
     u"Opens the turnstile test view (Test Tourniquet)."},
    {"Label4", 4, Kind::Label, "Frame5", u"Mode du tourniquet:", 135, 1980, 1425, 195},
    {"B_T_DirectCmd", -1, Kind::Button, "Frame5", u"CMD Direct (Merixo)", 495, 2610, 1455, 645,
     Disabled},
    {"SW_TOURN_ANSWER", -1, Kind::CheckBox, "Frame5", u"Auto answer (Merixo)", 495, 3255, 1965, 285,
     0,
     u"Answers every chunk received on TCP, cards, input status bytes and any other text alike, "
     u"with a passage (as \"Passage pour:\") and the green LED for the seconds to pass."},
    {"B_T_DEL_R_XX", -1, Kind::Button, "Frame5", u"DEL Rouge  2 Secs.", 4035, 4590, 1095, 705,
     Bold | Graphical},
    {"B_T_DEL_V_XX", -1, Kind::Button, "Frame5", u"DEL Verte  2 Secs.", 5145, 4590, 1095, 705,
     Bold | Graphical},
    {"B_T_BRAS_TOMBE", -1, Kind::Button, "Frame5", u"Bras Tomb\u00e9", 3255, 4620, 765, 675, Bold},
    {"SW_T_DEL_V", -1, Kind::CheckBox, "Frame5", u"Check1", 6000, 5055, 165, 195, 0, u"On/Off"},
    {"SW_T_DEL_R", -1, Kind::CheckBox, "Frame5", u"Check1", 4890, 5070, 165, 195, 0, u"On/Off"},

    {"SW_T_RFID_POLLING", -1, Kind::Combo, "Frame6", u"Polling setup", 1425, 225, 2280, 315},
    {"Label5", 3, Kind::Label, "Frame6", u"Ant RFID RS232:", 45, 300, 1320, 225, RightAligned},
    {"Label5", 0, Kind::Label, "Frame6", u"UDP Rem T2:", 120, 630, 1155, 225},
    {"INP_T_REMOTE_IP", 0, Kind::TextBox, "Frame6", u"", 1290, 630, 2400, 300},
    {"INP_T_REMOTE_IP", 1, Kind::TextBox, "Frame6", u"", 1290, 945, 2400, 300},
    {"Label5", 1, Kind::Label, "Frame6", u"UDP Rem T3:", 120, 975, 1155, 225},
    {"INP_T_REMOTE_IP", 2, Kind::TextBox, "Frame6", u"", 1290, 1260, 2400, 300},
    {"Label5", 2, Kind::Label, "Frame6", u"UDP Rem T4:", 120, 1305, 1155, 225},
    {"B_T_RX_CFG_REMOTE", -1, Kind::Button, "Frame6", u"RX Config", 810, 1590, 1215, 285},
    {"B_T_TX_CFG_REMOTE", -1, Kind::Button, "Frame6", u"Save Config", 2025, 1590, 1650, 285},

    {"SW_TOURNRFID", -1, Kind::CheckBox, "Frame7", u"RFID Simulateur (RS232)", 45, -30, 2115, 300},
    {"SW_TOURNRFID_CARTE", 0, Kind::CheckBox, "Frame7", u"Carte Ant 1234: E0040150A3C61B7D", 45,
     240, 3000, 240},
    {"SW_TOURNRFID_CARTE", 1, Kind::CheckBox, "Frame7", u"Carte Ant 1: E0040150A3C61B7D", 45, 480,
     3000, 240},
    {"SW_TOURNRFID_CARTE", 2, Kind::CheckBox, "Frame7", u"Carte Ant 2: E0040150A3C61B7D", 45, 675,
     3000, 240},
    {"SW_TOURNRFID_CARTE", 3, Kind::CheckBox, "Frame7", u"Carte Ant 3: E0040150A3C61B7D", 45, 855,
     3000, 240},
    {"SW_TOURNRFID_CARTE", 4, Kind::CheckBox, "Frame7", u"Carte Ant 4: E0040150A3C61B7D", 45, 1050,
     3000, 240},

    {"TTLpXX", 0, Kind::Button, "Frame8", u"TTL1 .3", 1950, 390, 840, 285},
    {"TTLpXX", 2, Kind::Button, "Frame8", u"TTL3 .3", 2805, 405, 840, 285},
    {"Command2", -1, Kind::Button, "Frame8", u"Batch On 4 Sec.", 90, 435, 855, 510},
    {"Command3", -1, Kind::Button, "Frame8", u"Batch Off", 975, 435, 855, 510},
    {"TTLpXX", 1, Kind::Button, "Frame8", u"TTL2 .3", 1950, 705, 840, 285},
    {"TTLpXX", 3, Kind::Button, "Frame8", u"TTL4 .3", 2805, 705, 840, 285},
};

QString objectName(const char *name, int index)
{
    const QString base = QString::fromLatin1(name);
    return index < 0 ? base : u"%1(%2)"_s.arg(base).arg(index);
}

// The picture of the zoom button: a small window with a maximise mark.
QPixmap zoomPicture()
{
    QPixmap picture(19, 18);
    picture.fill(QColor(192, 192, 192));
    QPainter p(&picture);
    p.setPen(Qt::black);
    p.drawRect(1, 1, 16, 15);
    p.fillRect(2, 2, 15, 3, QColor(0, 0, 128));
    p.drawRect(5, 7, 8, 6);
    p.drawLine(5, 8, 13, 8);
    return picture;
}

QWidget *create(const Row &row, QWidget *parent)
{
    const QString caption = row.caption.toString();
    switch (row.kind) {
    case Kind::Frame:
        return new QGroupBox(caption, parent);
    case Kind::Label: {
        auto *label = new QLabel(caption, parent);
        label->setWordWrap(true);
        label->setAlignment((row.flags & RightAligned) ? Qt::AlignRight | Qt::AlignTop
                                                       : Qt::AlignLeft | Qt::AlignTop);
        if (row.flags & Counter) {
            label->setAlignment(Qt::AlignCenter);
            label->setFrameShape(QFrame::Box);
            label->setAutoFillBackground(true);
            QPalette p = label->palette();
            p.setColor(QPalette::Window, p.color(QPalette::HighlightedText));
            label->setPalette(p);
        }
        return label;
    }
    case Kind::TextBox: {
        auto *edit = new QLineEdit(caption, parent);
        return edit;
    }
    case Kind::Terminal:
        return new TerminalBox(parent);
    case Kind::Button: {
        auto *button = new CaptionButton(caption, parent);
        button->setGraphical(row.flags & Graphical);
        return button;
    }
    // Check boxes and option buttons are opaque, so that one placed on a frame's caption line
    // covers the caption.
    case Kind::CheckBox: {
        auto *box = new QCheckBox(caption, parent);
        box->setChecked(row.flags & Checked);
        box->setAutoFillBackground(true);
        return box;
    }
    case Kind::Option: {
        auto *option = new QRadioButton(caption, parent);
        option->setChecked(row.flags & Checked);
        option->setAutoFillBackground(true);
        return option;
    }
    case Kind::Combo:
        return new PickList(parent);
    case Kind::Picture: {
        auto *picture = new PictureButton(parent);
        picture->setPixmap(zoomPicture());
        return picture;
    }
    }
    return nullptr;
}

} // namespace

void buildInventory(QWidget *designArea)
{
    QHash<QString, QWidget *> controls;
    // Each option array is exclusive on its own. Qt's automatic exclusivity takes in every
    // option button below the same parent, nested frames included, so the link choice and the
    // output pairs inside "SEND COMMANDS VIA:" would share one selection.
    QHash<QString, QButtonGroup *> optionGroups;
    const QColor defaultText = designArea->palette().color(QPalette::Active, QPalette::WindowText);
    for (const Row &row : Inventory) {
        QWidget *parent =
            row.parent[0] ? controls.value(QString::fromLatin1(row.parent)) : designArea;
        Q_ASSERT_X(parent, "buildInventory", row.name);
        QWidget *control = create(row, parent);
        control->setObjectName(objectName(row.name, row.index));
        control->setGeometry(twips(row.left), twips(row.top), twips(row.width), twips(row.height));
        // Every control gets its own font and colour so that nothing is inherited from a bold
        // or blue frame around it.
        control->setFont(formFont((row.flags & Counter) ? 9.75 : 8.25, row.flags & Bold));
        const QColor text = (row.flags & Blue)    ? QColor(0, 0, 255)
                            : (row.flags & White) ? QColor(255, 255, 255)
                                                  : defaultText;
        if (row.flags & Disabled)
            control->setEnabled(false);
        else
            setForeground(control, text);
        if (row.flags & Hidden)
            control->setVisible(false);
        if (!row.toolTip.isEmpty())
            control->setToolTip(row.toolTip.toString());
        if (row.kind == Kind::Option) {
            QButtonGroup *&group = optionGroups[QString::fromLatin1(row.name)];
            if (!group)
                group = new QButtonGroup(parent);
            group->addButton(static_cast<QRadioButton *>(control), row.index);
        }
        controls.insert(control->objectName(), control);
    }

    const auto find = [designArea](const char *name) { return control<QWidget>(designArea, name); };
    // Lists and the colours that are part of the design.
    auto *port = control<QComboBox>(designArea, "INP_IP_PORT");
    port->addItems({u"1024"_s, u"1025"_s});
    port->setEditText(u"1024"_s);
    auto *mode = control<QComboBox>(designArea, "LST_T_MODE");
    mode->addItems(turnstile::modes());
    mode->setEditText(turnstile::modes().first());
    auto *polling = control<QComboBox>(designArea, "SW_T_RFID_POLLING");
    polling->addItems(turnstile::pollingChoices());
    polling->setEditText(u"Polling setup"_s);
    setBackground(find("INP_IP_ADR"), ROUGE);
    control<CaptionButton>(designArea, "B_T_DEL_R_XX")->setFaceColour(QColor(255, 0, 0));
    control<CaptionButton>(designArea, "B_T_DEL_V_XX")->setFaceColour(QColor(0, 255, 0));
    // Frame7's caption is meant to lie under the check box drawn on its caption line; this
    // style draws captions flush left, where the box does not reach.
    control<QGroupBox>(designArea, "Frame7")->setAlignment(Qt::AlignHCenter);
    // The STATUS buttons sit on the top edges of the input frames, in front of them.
    find("B_STATUS")->raise();
    find("B_STATUS2")->raise();
}

} // namespace kalveno
