#include "mainwindow.h"

#include "app/configstore.h"
#include "app/consolelinks.h"
#include "app/inventory.h"
#include "app/settings.h"
#include "platform/locations.h"
#include "platform/serialcontrol.h"
#include "platform/serialports.h"
#include "platform/sessionlog.h"
#include "platform/tcpcontrol.h"
#include "platform/trafficrecord.h"
#include "platform/udpcontrol.h"
#include "portpicker/portpickerdialog.h"
#include "protocol/number.h"
#include "receive/tcpdispatcher.h"
#include "testview/testview.h"
#include "traffic/trafficviews.h"
#include "widgets/captionbutton.h"
#include "widgets/look.h"
#include "widgets/picklist.h"
#include "widgets/picturebutton.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QStatusBar>
#include <QTime>

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

// A link's address field shows the link's state in its colour, and why in its tool tip.
void showLinkState(QLineEdit *field, const LinkState &link)
{
    setBackground(field, link.isUp() ? VERT : ROUGE);
    field->setToolTip(link.reason());
}

} // namespace

MainWindow::MainWindow(const ConsoleSettings &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_designArea(new QWidget(this))
    , m_portPicker(new PortPickerDialog(this))
{
    installFontSubstitutes();
    if (!settings.readProblem.isEmpty())
        m_settingsProblem = u"%1 could not be read (%2); defaults used"_s.arg(
            locations::settingsFile(), settings.readProblem);
    else if (!settings.problems.isEmpty())
        m_settingsProblem =
            u"%1: %2"_s.arg(locations::settingsFile(), settings.problems.join(u"; "_s));
    setWindowTitle(u"KALVENO DIAG   "_s + MakerAddress.toString() + u"  Ver. 1.1K"_s);
    setWindowIcon(consoleIcon());
    setFont(formFont());
    m_designArea->setObjectName(u"F_MAIN"_s);
    setCentralWidget(m_designArea);
    buildInventory(m_designArea);
    statusBar()->setSizeGripEnabled(true);

    const QWidget *form = m_designArea;
    m_tcpLinkView = TcpLinkView::find(form);
    m_tcpTerminalView = TcpTerminalView::find(form);
    m_routeView = RouteView::find(form);
    m_serialPortView = SerialPortView::find(form);
    m_serialTerminalView = SerialTerminalView::find(form);
    m_rfidView = RfidView::find(form);
    m_outputsView = TtlOutputsView::find(form);
    m_batchView = BatchView::find(form);
    m_turnstileView = TurnstileView::find(form);
    m_remoteConfigView = RemoteConfigView::find(form);
    m_sendTestView = SendTestView::find(form);

    m_record = std::make_unique<TrafficRecord>(settings.recordLimit);
    m_sessionLog = std::make_unique<SessionLog>(*m_record, locations::sessionsFolder(),
                                                settings.logFileLimit, settings.logTotalLimit);
    m_tcp = std::make_unique<TcpControl>();
    m_tcp->setConnectTimeout(settings.tcpConnectTimeoutMs);
    m_tcp->setRecord(m_record.get());
    m_udp = std::make_unique<UdpControl>();
    m_udp->setRemotePort(settings.udpRemotePort);
    m_udp->setLocalPort(settings.udpLocalPort);
    m_udp->setRecord(m_record.get());
    m_serial = std::make_unique<SerialControl>(&serialDevice);
    m_serial->setRecord(m_record.get());
    // The record keeps every byte; the terminal keeps the newest lines, up to its bound.
    m_serialTerminalView.terminal.box->setByteLimit(settings.serialTerminalLimit);
    m_testView = std::make_unique<TestViewHost>();
    m_resendLinks =
        std::make_unique<ConsoleLinks>(m_tcpLink, *m_tcp, *m_udp, m_serialLink, *m_serial);
    m_traffic = std::make_unique<TrafficViews>(*m_record, m_resendLinks.get(), this);
    // The menu bar goes above the design area, which keeps its size: the window grows instead.
    m_traffic->addMenus(menuBar());
    m_serialPortsAction = menuBar()->addMenu(u"&Port"_s)->addAction(u"&Serial ports..."_s);
    resize(twips(13710),
           menuBar()->sizeHint().height() + twips(5460) + statusBar()->sizeHint().height());

    m_config = std::make_unique<ConfigStore>(m_serialPortView.INP_COMM_NO, m_tcpLinkView.INP_IP_ADR,
                                             locations::configFile());
    m_serialPort = std::make_unique<SerialPortController>(m_serialPortView, m_serialLink, *m_serial,
                                                          m_reporter);
    m_supervisor =
        std::make_unique<TcpSupervisor>(m_tcpLinkView, m_tcpLink, *m_tcp, *m_udp, m_reporter);
    m_router = std::make_unique<CommandRouter>(m_routeView, m_tcpLink, m_serialLink, *m_tcp, *m_udp,
                                               *m_serial, m_reporter);
    m_indicators = std::make_unique<InputIndicators>(TtlInputsView::find(form));
    m_outputs = std::make_unique<TtlPanel>(m_outputsView, *m_router, *m_testView);
    m_batch = std::make_unique<BatchPanel>(*m_router);
    m_tcpTerminal = std::make_unique<TcpTerminal>(m_tcpTerminalView, m_tcpLink, *m_tcp, m_reporter);
    m_turnstile =
        std::make_unique<TurnstilePanel>(m_turnstileView, *m_tcp, *m_testView, m_reporter);
    m_remoteConfig = std::make_unique<RemoteConfig>(m_remoteConfigView, *m_turnstile);
    m_dispatcher = std::make_unique<TcpDispatcher>(*m_tcp, *m_tcpTerminal, *m_indicators,
                                                   *m_testView, *m_turnstile, *m_remoteConfig);
    m_dispatcher->setRecord(m_record.get());
    m_rfid = std::make_unique<RfidSimulator>(m_rfidView, *m_serial, *m_serialPort, m_reporter);
    m_poller = std::make_unique<SerialPoller>(m_serialTerminalView, m_serialLink, *m_serial,
                                              *m_indicators, *m_rfid, m_reporter);
    m_poller->setRecord(m_record.get());
    m_sendTest = std::make_unique<SendTest>(
        this, m_sendTestView, SendTest::Links{m_tcpLink, m_serialLink, *m_tcp, *m_serial},
        SendTest::Terminals{*m_tcpTerminal, *m_poller});

    lockFolder();
    wire();
    Form_Load();
}

MainWindow::~MainWindow()
{
    // Closing the log lets the record release the links it held back: their readers must still be
    // there. A window closed the usual way has closed it already.
    m_sessionLog.reset();
}

void MainWindow::lockFolder()
{
    // A lock whose process has gone (a crash) is taken over, however old it is.
    if (!QDir().mkpath(locations::folder()))
        return;
    m_folderLock = std::make_unique<QLockFile>(locations::folder() + u"/kalveno.lock"_s);
    m_folderLock->setStaleLockTime(0);
    if (m_folderLock->tryLock() || m_folderLock->error() != QLockFile::LockFailedError)
        return;
    qint64 pid = 0;
    QString host, application;
    m_folderLock->getLockInfo(&pid, &host, &application);
    m_sharedFolder =
        u"another console (process %1) already runs on %2: both use its files, the one closed "
        "last writes the configuration file, and two consoles on one bridge knock each other "
        "off"_s.arg(pid)
            .arg(locations::folder());
}

void MainWindow::wire()
{
    connect(&m_reporter, &Reporter::reported, this, [this](const QString &message) {
        statusBar()->showMessage(QTime::currentTime().toString(u"HH:mm:ss "_s) + message);
    });
    connect(&m_tcpLink, &LinkState::changed, this,
            [this] { showLinkState(m_tcpLinkView.INP_IP_ADR, m_tcpLink); });
    // The status bar's right end keeps what "COMM:" holds, or why it holds nothing, while the
    // reports of both links come and go at its left.
    auto *serialState = new QLabel(statusBar());
    statusBar()->addPermanentWidget(serialState);
    connect(&m_serialLink, &LinkState::changed, this, [this, serialState] {
        serialState->setText(m_serialLink.reason());
        showLinkState(m_serialPortView.INP_COMM_NO, m_serialLink);
        m_portPicker->setOpenPort(m_serial->isOpen() ? m_serial->device() : QString(),
                                  m_serial->linkName());
    });
    const auto report = [this](const QString &message) { m_reporter.report(message); };
    connect(m_sessionLog.get(), &SessionLog::failed, this, report);
    connect(m_sessionLog.get(), &SessionLog::resumed, this, report);
    wireLinks();
    wirePanels();
    wirePortPicker();
}

void MainWindow::wireLinks()
{
    auto *serialPort = m_serialPort.get();
    connect(m_serialPortView.INP_COMM_NO, &QLineEdit::textChanged, this,
            [serialPort] { serialPort->INP_COMM_NO_Change(); });
    connect(m_serialPortView.INP_COMM_CFG, &QLineEdit::textChanged, this,
            [serialPort] { serialPort->INP_COMM_CFG_Change(); });
    connect(&serialPort->retryTimer(), &QTimer::timeout, this,
            [serialPort] { serialPort->retry(); });
    connect(m_serial.get(), &SerialControl::portLost, this,
            [serialPort](const QString &reason) { serialPort->portLost(reason); });

    auto *supervisor = m_supervisor.get();
    connect(&supervisor->timer(), &QTimer::timeout, this,
            [supervisor] { supervisor->TIM_CONNECT_TCP_Timer(); });
    connect(m_tcp.get(), &TcpControl::connected, this, [supervisor] { supervisor->TCP_Connect(); });
    connect(m_tcp.get(), &TcpControl::errorOccurred, this,
            [supervisor](int, const QString &description) { supervisor->TCP_Error(description); });
    connect(m_tcp.get(), &TcpControl::closedByPeer, this,
            [supervisor] { supervisor->closedByPeer(); });
    connect(m_tcpLinkView.INP_IP_ADR, &QLineEdit::textChanged, this,
            [supervisor] { supervisor->INP_IP_ADR_Change(); });
    connect(m_tcpLinkView.INP_IP_PORT, &PickList::picked, this,
            [supervisor] { supervisor->INP_IP_PORT_Click(); });

    auto *dispatcher = m_dispatcher.get();
    connect(m_tcp.get(), &TcpControl::dataArrival, this,
            [dispatcher] { dispatcher->TCP_DataArrival(); });
    // The session log has caught up: what the links held back is read now.
    auto *poller = m_poller.get();
    connect(m_record.get(), &TrafficRecord::backlogCleared, this, [dispatcher, poller] {
        dispatcher->backlogCleared();
        poller->backlogCleared();
    });

    auto *terminal = m_tcpTerminal.get();
    TerminalBox *tcpBox = m_tcpTerminalView.terminal.box;
    tcpBox->setKeyPressHook([terminal](int &code) { terminal->keyPress(code); });
    tcpBox->setPasteHook([terminal](const TerminalBox::Pasted &chunk, bool &echo) {
        return terminal->paste(chunk.bytes, chunk.done, chunk.total, echo);
    });
    connect(tcpBox, &TerminalBox::changed, this, [terminal] { terminal->TXT_TCP_WIN_Change(); });
    connect(tcpBox, &TerminalBox::doubleClicked, this, [terminal] { terminal->clear(); });
    connect(tcpBox, &TerminalBox::clearRequested, this, [terminal] { terminal->clear(); });
    connect(m_tcpTerminalView.terminal.clear, &QAbstractButton::clicked, this,
            [terminal] { terminal->clear(); });
    auto *outputs = m_outputs.get();
    connect(terminal, &TcpTerminal::autoAnswerTest, this,
            [outputs] { outputs->pulseAllOutputs(); });

    TerminalBox *serialBox = m_serialTerminalView.terminal.box;
    connect(&poller->timer(), &QTimer::timeout, this, [poller] { poller->TIM_COMM_RX_Timer(); });
    connect(&poller->frameTimer(), &QTimer::timeout, this,
            [poller] { poller->TIM_COMM_RX_Timer(); });
    connect(serialBox, &TerminalBox::changed, this, [poller] { poller->checkSimulatorCap(); });
    connect(m_serial.get(), &SerialControl::dataWaiting, this, [poller] { poller->dataWaiting(); });
    serialBox->setKeyPressHook([poller](int &code) { poller->keyPress(code); });
    serialBox->setPasteHook([poller](const TerminalBox::Pasted &chunk, bool &echo) {
        return poller->paste(chunk.bytes, chunk.done, chunk.total, echo);
    });
    connect(serialBox, &TerminalBox::doubleClicked, this,
            [poller] { poller->B_CLEAR_232_Click(); });
    connect(serialBox, &TerminalBox::clearRequested, this,
            [poller] { poller->B_CLEAR_232_Click(); });
    connect(m_serialTerminalView.terminal.clear, &QAbstractButton::clicked, this,
            [poller] { poller->B_CLEAR_232_Click(); });
    auto *rfid = m_rfid.get();
    connect(m_rfidView.SW_TOURNRFID, &QAbstractButton::clicked, this,
            [rfid] { rfid->SW_TOURNRFID_Click(); });
    // From then on the record reads the serial line's bytes as the reader's protocol.
    connect(m_rfidView.SW_TOURNRFID, &QAbstractButton::toggled, this, [this, poller](bool on) {
        m_record->setReaderLine(on);
        poller->simulatorSwitched();
    });

    auto *sendTest = m_sendTest.get();
    connect(m_sendTestView.B_TST_SEND, &QAbstractButton::clicked, this,
            [sendTest] { sendTest->B_TST_SEND_Click(); });
}

void MainWindow::wirePanels()
{
    auto *outputs = m_outputs.get();
    for (int output = 1; output <= 4; ++output) {
        for (int i = 0; i < 2; ++i) {
            connect(m_outputsView.SW_TTL_OUT[output - 1][i], &QRadioButton::clicked, this,
                    [outputs, output, i] { outputs->SW_TTL_OUT_Click(output, i); });
        }
        connect(m_outputsView.B_TTL_XX[output - 1], &QAbstractButton::clicked, this,
                [outputs, output] { outputs->B_TTL_XX_Click(output); });
    }
    connect(m_outputsView.B_STATUS, &QAbstractButton::clicked, this,
            [outputs] { outputs->B_STATUS_Click(); });
    connect(m_outputsView.B_STATUS2, &QAbstractButton::clicked, this,
            [outputs] { outputs->B_STATUS2_Click(); });
    connect(m_outputsView.B_ZOOM_TEST, &PictureButton::clicked, this,
            [outputs] { outputs->B_ZOOM_TEST_Click(); });

    auto *batch = m_batch.get();
    for (int i = 0; i < int(m_batchView.pulses.size()); ++i)
        connect(m_batchView.pulses[i], &QAbstractButton::clicked, this,
                [batch, i] { batch->sendPulse(i); });
    connect(m_batchView.batchOn, &QAbstractButton::clicked, this,
            [batch] { batch->sendBatchOn(); });
    connect(m_batchView.batchOff, &QAbstractButton::clicked, this,
            [batch] { batch->sendBatchOff(); });

    auto *turnstile = m_turnstile.get();
    const TurnstileView &t = m_turnstileView;
    const auto onClick = [this, turnstile](QAbstractButton *button,
                                           void (TurnstilePanel::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [turnstile, handler] { (turnstile->*handler)(); });
    };
    onClick(t.B_T_BRAS_TOMBE, &TurnstilePanel::B_T_BRAS_TOMBE_Click);
    onClick(t.B_T_DEL_R_XX, &TurnstilePanel::B_T_DEL_R_XX_Click);
    onClick(t.B_T_DEL_V_XX, &TurnstilePanel::B_T_DEL_V_XX_Click);
    onClick(t.B_T_DirectCmd, &TurnstilePanel::B_T_DirectCmd_Click);
    onClick(t.B_T_PASSAGE, &TurnstilePanel::B_T_PASSAGE_Click);
    onClick(t.B_T_VALID_TIMEOUT, &TurnstilePanel::B_T_VALID_TIMEOUT_Click);
    onClick(t.firstThenTypedPassage, &TurnstilePanel::sendFirstThenTypedPassage);
    onClick(t.singlePassageWithDelay, &TurnstilePanel::sendSinglePassageWithDelay);
    onClick(t.singlePassageNoDelay, &TurnstilePanel::sendSinglePassageNoDelay);
    onClick(t.okRedLedThreeSeconds, &TurnstilePanel::sendOkRedLedThreeSeconds);
    onClick(t.SW_T_DEL_R, &TurnstilePanel::SW_T_DEL_R_Click);
    onClick(t.SW_T_DEL_V, &TurnstilePanel::SW_T_DEL_V_Click);
    connect(t.LST_T_MODE, &PickList::picked, this, [turnstile] { turnstile->LST_T_MODE_Click(); });

    auto *remote = m_remoteConfig.get();
    connect(m_remoteConfigView.B_T_RX_CFG_REMOTE, &QAbstractButton::clicked, this,
            [remote] { remote->B_T_RX_CFG_REMOTE_Click(); });
    connect(m_remoteConfigView.B_T_TX_CFG_REMOTE, &QAbstractButton::clicked, this,
            [remote] { remote->B_T_TX_CFG_REMOTE_Click(); });
}

void MainWindow::wirePortPicker()
{
    QLineEdit *number = m_serialPortView.INP_COMM_NO;
    // The port number in "COMM:", read as the serial port controller reads it.
    const auto typedNumber = [number] {
        return LeadingNumber::parse(number->text()).roundedIn(1, 32767);
    };
    connect(m_serialPortsAction, &QAction::triggered, this,
            [this, typedNumber] { m_portPicker->showFor(int(typedNumber().value_or(1))); });
    // The field's own menu (undo, copy, paste...) with the port picker below it.
    number->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(number, &QWidget::customContextMenuRequested, this, [this, number](const QPoint &at) {
        QMenu *menu = number->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(m_serialPortsAction);
        menu->popup(number->mapToGlobal(at));
    });
    // The number in use now names another device: it is opened as typing the number opens it.
    auto *serialPort = m_serialPort.get();
    connect(m_portPicker, &PortPickerDialog::mappingChanged, this,
            [serialPort, typedNumber](int changed) {
                if (typedNumber() == changed)
                    serialPort->mappingChanged();
            });
}

void MainWindow::Form_Load()
{
    m_serialPortView.INP_COMM_NO->setText(u"1"_s);
    m_serialPortView.INP_COMM_CFG->setText(u"9600,N,8,1"_s);
    QStringList problems;
    if (!m_sharedFolder.isEmpty())
        problems << m_sharedFolder;
    if (!m_settingsProblem.isEmpty())
        problems << m_settingsProblem;
    if (!m_config->LOAD_CONFIG())
        problems << m_config->lastError();
    // A first start, with no configuration file yet, leaves both fields empty.
    QStringList toType;
    if (m_tcpLinkView.INP_IP_ADR->text().isEmpty())
        toType << u"the bridge's address into \"IP:\""_s;
    if (m_serialPortView.INP_COMM_NO->text().trimmed().isEmpty())
        toType << u"the serial port's number into \"COMM:\" (1 for the first)"_s;
    if (!toType.isEmpty())
        problems << u"To begin, type "_s + toType.join(u" and "_s);
    m_supervisor->TIM_CONNECT_TCP_Timer();
    m_udp->setRemoteHost(u"255.255.255.255"_s);
    if (!m_udp->bind())
        problems << u"UDP: cannot bind: %1"_s.arg(m_udp->lastError());
    if (!problems.isEmpty())
        m_reporter.report(problems.join(u"; "_s));
    m_supervisor->timer().start();
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
    m_tcp->flushEvents();
    m_serial->flushEvents();
    m_supervisor->timer().stop();
    m_poller->timer().stop();
    m_poller->frameTimer().stop();
    m_testView->destroy();
    m_sessionLog->close();
    Q_EMIT ended();
}

} // namespace kalveno
