#include "mainwindow.h"

#include "app/configstore.h"
#include "app/look.h"
#include "app/statusline.h"
#include "decode/inputindicators.h"
#include "decode/tcpdispatcher.h"
#include "decode/testview.h"
#include "io_panel/ttlpanel.h"
#include "link/commandrouter.h"
#include "link/tcpsupervisor.h"
#include "link/tcpterminal.h"
#include "loopback/sendtest.h"
#include "platform/locations.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "serial/rfidsimulator.h"
#include "serial/serialpoller.h"
#include "serial/serialportcontroller.h"
#include "turnstile/turnstilepanel.h"
#include "widgets/captionbutton.h"
#include "widgets/picturebutton.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QStatusBar>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// The window's 32 by 32 icon: a bridge box with a serial and a network side.
QIcon consoleIcon()
{
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(4, 9, 23, 14);
    p.setBrush(QColor(0, 255, 0));
    p.drawRect(7, 13, 4, 4);
    p.setBrush(QColor(255, 0, 0));
    p.drawRect(13, 13, 4, 4);
    p.setPen(QPen(QColor(255, 255, 0), 2));
    p.drawLine(0, 16, 4, 16);
    p.drawLine(27, 16, 31, 16);
    return QIcon(icon);
}

} // namespace

MainWindow::MainWindow(const ConsoleSettings &settings, QWidget *parent)
    : QMainWindow(parent)
{
    installFontSubstitutes();
    setWindowTitle(u"KALVENO DIAG   "_s + MakerAddress.toString() + u"  Ver. 1.1K"_s);
    setWindowIcon(consoleIcon());
    setFont(formFont());

    auto *designArea = new QWidget(this);
    designArea->setObjectName(u"F_MAIN"_s);
    setCentralWidget(designArea);
    m_ui = MainWindowUi::build(designArea);
    m_status = std::make_unique<StatusLine>(statusBar());
    statusBar()->setSizeGripEnabled(true);
    resize(twips(13710), twips(5460) + statusBar()->sizeHint().height());

    m_tcp = std::make_unique<TcpControl>();
    m_tcp->setConnectTimeout(settings.tcpConnectTimeoutMs);
    m_udp = std::make_unique<UdpControl>();
    m_udp->setRemotePort(settings.udpRemotePort);
    m_udp->setLocalPort(settings.udpLocalPort);
    m_serial = std::make_unique<SerialControl>(&locations::serialDevice);

    m_config = std::make_unique<ConfigStore>(m_ui, locations::configFile());
    m_serialPort = std::make_unique<SerialPortController>(m_ui, *m_serial);
    m_supervisor = std::make_unique<TcpSupervisor>(m_ui, *m_tcp, *m_udp);
    m_router = std::make_unique<CommandRouter>(m_ui, *m_tcp, *m_udp, *m_serial, *m_status);
    m_indicators = std::make_unique<InputIndicators>(m_ui);
    m_testView = std::make_unique<TestViewHost>();
    m_panel = std::make_unique<TtlPanel>(m_ui, *m_router, *m_testView);
    m_tcpTerminal = std::make_unique<TcpTerminal>(m_ui, *m_tcp, *m_panel, *m_status);
    m_turnstile = std::make_unique<TurnstilePanel>(m_ui, *m_tcp, *m_testView, *m_status);
    m_dispatcher =
        std::make_unique<TcpDispatcher>(m_ui, *m_tcp, *m_indicators, *m_testView, *m_turnstile);
    m_rfid = std::make_unique<RfidSimulator>(m_ui, *m_serial, *m_status);
    m_poller = std::make_unique<SerialPoller>(m_ui, *m_serial, *m_indicators, *m_rfid, *m_status);
    m_sendTest = std::make_unique<SendTest>(this, m_ui, *m_serial, *m_tcp);

    wire();
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::wire()
{
    auto *serialPort = m_serialPort.get();
    connect(m_ui.INP_COMM_NO, &QLineEdit::textChanged, this,
            [serialPort] { serialPort->INP_COMM_NO_Change(); });
    connect(m_ui.INP_COMM_CFG, &QLineEdit::textChanged, this,
            [serialPort] { serialPort->INP_COMM_CFG_Change(); });
    connect(m_serial.get(), &SerialControl::portLost, this,
            [this, serialPort](const QString &reason) {
                m_status->report(u"serial port %1 lost: %2; trying again every second"_s.arg(
                    m_serial->device(), reason));
                serialPort->portLost();
            });

    auto *supervisor = m_supervisor.get();
    connect(&supervisor->timer(), &QTimer::timeout, this,
            [supervisor] { supervisor->TIM_CONNECT_TCP_Timer(); });
    connect(m_tcp.get(), &TcpControl::connected, this, [supervisor] { supervisor->TCP_Connect(); });
    connect(m_tcp.get(), &TcpControl::errorOccurred, this,
            [supervisor] { supervisor->TCP_Error(); });
    connect(m_ui.INP_IP_ADR, &QLineEdit::textChanged, this,
            [supervisor] { supervisor->INP_IP_ADR_Change(); });
    connect(m_ui.INP_IP_PORT, &QComboBox::activated, this,
            [supervisor] { supervisor->INP_IP_PORT_Click(); });

    auto *panel = m_panel.get();
    using OutputClick = void (TtlPanel::*)(int);
    const std::array<std::pair<std::array<QRadioButton *, 2>, OutputClick>, 4> outputs = {{
        {m_ui.SW_TTL1_OUT, &TtlPanel::SW_TTL1_OUT_Click},
        {m_ui.SW_TTL2_OUT, &TtlPanel::SW_TTL2_OUT_Click},
        {m_ui.SW_TTL3_OUT, &TtlPanel::SW_TTL3_OUT_Click},
        {m_ui.SW_TTL4_OUT, &TtlPanel::SW_TTL4_OUT_Click},
    }};
    for (const auto &[options, handler] : outputs) {
        for (int i = 0; i < 2; ++i) {
            connect(options[i], &QRadioButton::clicked, this,
                    [panel, handler = handler, i] { (panel->*handler)(i); });
        }
    }
    const auto onClick = [this, panel](QAbstractButton *button, void (TtlPanel::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, [panel, handler] { (panel->*handler)(); });
    };
    onClick(m_ui.B_TTL1_XX, &TtlPanel::B_TTL1_XX_Click);
    onClick(m_ui.B_TTL2_XX, &TtlPanel::B_TTL2_XX_Click);
    onClick(m_ui.B_TTL3_XX, &TtlPanel::B_TTL3_XX_Click);
    onClick(m_ui.B_TTL4_XX, &TtlPanel::B_TTL4_XX_Click);
    onClick(m_ui.B_STATUS, &TtlPanel::B_STATUS_Click);
    onClick(m_ui.B_STATUS2, &TtlPanel::B_STATUS2_Click);
    onClick(m_ui.Command2, &TtlPanel::Command2_Click);
    onClick(m_ui.Command3, &TtlPanel::Command3_Click);
    for (int i = 0; i < int(m_ui.TTLpXX.size()); ++i)
        connect(m_ui.TTLpXX[i], &QAbstractButton::clicked, this,
                [panel, i] { panel->TTLpXX_Click(i); });
    connect(m_ui.B_ZOOM_TEST, &PictureButton::clicked, this,
            [panel] { panel->B_ZOOM_TEST_Click(); });

    auto *terminal = m_tcpTerminal.get();
    m_ui.TXT_TCP_WIN->setKeyPressHook(
        [terminal](int &code) { terminal->TXT_TCP_WIN_KeyPress(code); });
    connect(m_ui.TXT_TCP_WIN, &TerminalBox::changed, this,
            [terminal] { terminal->TXT_TCP_WIN_Change(); });
    connect(m_ui.TXT_TCP_WIN, &TerminalBox::doubleClicked, this,
            [terminal] { terminal->TXT_TCP_WIN_DblClick(); });
    connect(m_ui.B_CLEAR_TCP, &QAbstractButton::clicked, this,
            [terminal] { terminal->B_CLEAR_TCP_Click(); });

    auto *turnstile = m_turnstile.get();
    const auto onTurnstile = [this, turnstile](QAbstractButton *button,
                                               void (TurnstilePanel::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [turnstile, handler] { (turnstile->*handler)(); });
    };
    onTurnstile(m_ui.B_T_BRAS_TOMBE, &TurnstilePanel::B_T_BRAS_TOMBE_Click);
    onTurnstile(m_ui.B_T_DEL_R_XX, &TurnstilePanel::B_T_DEL_R_XX_Click);
    onTurnstile(m_ui.B_T_DEL_V_XX, &TurnstilePanel::B_T_DEL_V_XX_Click);
    onTurnstile(m_ui.B_T_DirectCmd, &TurnstilePanel::B_T_DirectCmd_Click);
    onTurnstile(m_ui.B_T_PASSAGE, &TurnstilePanel::B_T_PASSAGE_Click);
    onTurnstile(m_ui.B_T_VALID_TIMEOUT, &TurnstilePanel::B_T_VALID_TIMEOUT_Click);
    onTurnstile(m_ui.Command1, &TurnstilePanel::Command1_Click);
    onTurnstile(m_ui.Command4, &TurnstilePanel::Command4_Click);
    onTurnstile(m_ui.Command5, &TurnstilePanel::Command5_Click);
    onTurnstile(m_ui.Command6, &TurnstilePanel::Command6_Click);
    onTurnstile(m_ui.SW_T_DEL_R, &TurnstilePanel::SW_T_DEL_R_Click);
    onTurnstile(m_ui.SW_T_DEL_V, &TurnstilePanel::SW_T_DEL_V_Click);
    onTurnstile(m_ui.B_T_RX_CFG_REMOTE, &TurnstilePanel::B_T_RX_CFG_REMOTE_Click);
    onTurnstile(m_ui.B_T_TX_CFG_REMOTE, &TurnstilePanel::B_T_TX_CFG_REMOTE_Click);
    connect(m_ui.LST_T_MODE, &QComboBox::activated, this,
            [turnstile] { turnstile->LST_T_MODE_Click(); });

    auto *dispatcher = m_dispatcher.get();
    connect(m_tcp.get(), &TcpControl::dataArrival, this,
            [dispatcher] { dispatcher->TCP_DataArrival(); });

    auto *poller = m_poller.get();
    connect(&poller->timer(), &QTimer::timeout, this, [poller] { poller->TIM_COMM_RX_Timer(); });
    connect(m_serial.get(), &SerialControl::dataWaiting, this, [poller] { poller->dataWaiting(); });
    m_ui.TXT_232_WIN->setKeyPressHook([poller](int &code) { poller->TXT_232_WIN_KeyPress(code); });
    connect(m_ui.TXT_232_WIN, &TerminalBox::doubleClicked, this,
            [poller] { poller->TXT_232_WIN_DblClick(); });
    connect(m_ui.B_CLEAR_232, &QAbstractButton::clicked, this,
            [poller] { poller->B_CLEAR_232_Click(); });
    auto *rfid = m_rfid.get();
    connect(m_ui.SW_TOURNRFID, &QAbstractButton::clicked, this,
            [rfid] { rfid->SW_TOURNRFID_Click(); });

    auto *sendTest = m_sendTest.get();
    connect(m_ui.B_TST_SEND, &QAbstractButton::clicked, this,
            [sendTest] { sendTest->B_TST_SEND_Click(); });
}

void MainWindow::Form_Load()
{
    m_ui.INP_COMM_NO->setText(u"1"_s);
    m_ui.INP_COMM_CFG->setText(u"9600,N,8,1"_s);
    m_config->LOAD_CONFIG();
    m_supervisor->TIM_CONNECT_TCP_Timer();
    m_udp->setRemoteHost(u"255.255.255.255"_s);
    if (!m_udp->bind())
        m_status->report(u"UDP: cannot bind: %1"_s.arg(m_udp->lastError()));
    m_supervisor->start();
    m_poller->start();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_ending)
        Form_Unload();
}

void MainWindow::Form_Unload()
{
    m_ending = true;
    m_sendTest->abort();
    m_tcp->close();
    QCoreApplication::processEvents();
    if (!m_config->SAVE_CONFIG()) {
        std::fprintf(stderr, "kalveno: the configuration file %s was not written: %s\n",
                     qPrintable(m_config->path()), qPrintable(m_config->lastError()));
    }
    QCoreApplication::processEvents();
    m_supervisor->stop();
    m_poller->stop();
    m_testView->destroy();
    Q_EMIT ended();
}

} // namespace kalveno
