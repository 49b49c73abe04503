#include "panels.h"

#include "app/settings.h"
#include "platform/sessionlog.h"
#include "widgets/captionbutton.h"
#include "widgets/look.h"
#include "widgets/picklist.h"
#include "widgets/picturebutton.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// The rows of the wiring: a signal of a sender runs a handler. Every connection has the same
// context object, so that deleting it cuts them all at once.
class Wiring
{
public:
    explicit Wiring(QObject *context)
        : m_context(context)
    {}

    // The signal runs a handler of a panel, which takes none of the signal's arguments.
    template<typename Sender, typename Signal, typename Panel, typename Class>
    void on(Sender *sender, Signal signal, Panel &panel, void (Class::*handler)()) const
    {
        QObject::connect(sender, signal, m_context, [&panel, handler] { (panel.*handler)(); });
    }
    // The signal runs a function, which may take the signal's arguments.
    template<typename Sender, typename Signal, typename Function>
    void on(Sender *sender, Signal signal, Function function) const
    {
        QObject::connect(sender, signal, m_context, std::move(function));
    }
    // A raw terminal's keys and pastes go to its link; its CLEAR button, a double-click on it
    // and its menu's Clear (B_CLEAR_TCP_Click, TXT_TCP_WIN_DblClick and their serial twins) run
    // its clear handler.
    template<typename Terminal, typename Class>
    void terminal(const TerminalView &view, Terminal &terminal, void (Class::*clear)()) const
    {
        view.box->setKeyPressHook([&terminal](int &code) { terminal.keyPress(code); });
        view.box->setPasteHook([&terminal](const TerminalBox::Pasted &chunk, bool &echo) {
            return terminal.paste(chunk.bytes, chunk.done, chunk.total, echo);
        });
        on(view.clear, &QAbstractButton::clicked, terminal, clear);
        on(view.box, &TerminalBox::doubleClicked, terminal, clear);
        on(view.box, &TerminalBox::clearRequested, terminal, clear);
    }

private:
    QObject *m_context;
};

// A link's address field shows the link's state in its colour, and why in its tool tip.
void showLinkState(QLineEdit *field, const LinkState &link)
{
    setBackground(field, link.isUp() ? VERT : ROUGE);
    field->setToolTip(link.reason());
}

} // namespace

PanelViews PanelViews::find(const QWidget *form)
{
    return {.tcpLink = TcpLinkView::find(form),
            .tcpTerminal = TcpTerminalView::find(form),
            .route = RouteView::find(form),
            .serialPort = SerialPortView::find(form),
            .serialTerminal = SerialTerminalView::find(form),
            .rfid = RfidView::find(form),
            .inputs = TtlInputsView::find(form),
            .outputs = TtlOutputsView::find(form),
            .batch = BatchView::find(form),
            .turnstile = TurnstileView::find(form),
            .remoteConfig = RemoteConfigView::find(form),
            .sendTest = SendTestView::find(form)};
}

Panels::Panels(QWidget *form, const ConsoleSettings &settings, Platform platform)
    : views(PanelViews::find(form))
    , record(settings.recordLimit)
    , sessionLog(platform.sessionsFolder.isEmpty()
                     ? nullptr
                     : std::make_unique<SessionLog>(record, platform.sessionsFolder,
                                                    settings.logFileLimit, settings.logTotalLimit))
    , serial(std::move(platform.devices), std::move(platform.stableNames))
    , resendLinks(tcpLink, tcp, udp, serialLink, serial)
    , serialPort(views.serialPort, serialLink, serial, reporter)
    , supervisor(views.tcpLink, tcpLink, tcp, udp, reporter)
    , router(views.route, tcpLink, serialLink, tcp, udp, serial, reporter)
    , indicators(views.inputs)
    , outputs(views.outputs, router, testView)
    , batch(router)
    , tcpTerminal(views.tcpTerminal, tcpLink, tcp, reporter)
    , turnstile(views.turnstile, tcp, testView, reporter)
    , remoteConfig(views.remoteConfig, turnstile)
    , dispatcher(tcp, tcpTerminal, indicators, testView, turnstile, remoteConfig)
    , rfid(views.rfid, serial, serialPort, reporter)
    , poller(views.serialTerminal, serialLink, serial, indicators, rfid, reporter)
    , sendTest(form, views.sendTest,
               {.tcpLink = tcpLink, .serialLink = serialLink, .tcp = tcp, .serial = serial},
               {.tcp = tcpTerminal, .serial = poller})
    , m_wires(std::make_unique<QObject>())
{
    tcp.setConnectTimeout(settings.tcpConnectTimeoutMs);
    udp.setRemotePort(settings.udpRemotePort);
    udp.setLocalPort(settings.udpLocalPort);
    // Every link writes into the record; the readers hold back while it is backlogged.
    tcp.setRecord(&record);
    udp.setRecord(&record);
    serial.setRecord(&record);
    dispatcher.setRecord(&record);
    poller.setRecord(&record);
    // The record keeps every byte; the terminal keeps the newest lines, up to its bound.
    views.serialTerminal.terminal.box->setByteLimit(settings.serialTerminalLimit);
    wire();
}

Panels::~Panels()
{
    // The session log first: closing it lets the record release the links it held back, and
    // their readers (the TCP dispatcher, the serial poller) take what waited, so they must still
    // be there and wired.
    sessionLog.reset();
    // Then nothing reaches a panel any more: every connection and the terminals' hooks are cut.
    m_wires.reset();
    for (TerminalBox *box : {views.tcpTerminal.terminal.box, views.serialTerminal.terminal.box}) {
        box->setKeyPressHook({});
        box->setPasteHook({});
    }
    // The rest goes in the reverse of the order in which it was built: the controllers (and
    // their timers) before the test view and the links they use, the links before the record
    // they write into, and the models last.
}

bool Panels::bindBroadcasts()
{
    udp.setRemoteHost(u"255.255.255.255"_s);
    return udp.bind();
}

void Panels::stop()
{
    tcp.flushEvents();
    serial.flushEvents();
    supervisor.timer().stop();
    poller.timer().stop();
    poller.frameTimer().stop();
    testView.destroy();
    if (sessionLog)
        sessionLog->close();
}

void Panels::wire()
{
    const Wiring w(m_wires.get());
    const PanelViews &v = views;

    // The link fields show their links' states; the session log's troubles are reported.
    w.on(&tcpLink, &LinkState::changed,
         [this] { showLinkState(views.tcpLink.INP_IP_ADR, tcpLink); });
    w.on(&serialLink, &LinkState::changed,
         [this] { showLinkState(views.serialPort.INP_COMM_NO, serialLink); });
    if (sessionLog) {
        const auto report = [this](const QString &message) { reporter.report(message); };
        w.on(sessionLog.get(), &SessionLog::failed, report);
        w.on(sessionLog.get(), &SessionLog::resumed, report);
    }

    // The serial port: its two fields, its device going away and coming back.
    w.on(v.serialPort.INP_COMM_NO, &QLineEdit::textChanged, serialPort,
         &SerialPortController::INP_COMM_NO_Change);
    w.on(v.serialPort.INP_COMM_CFG, &QLineEdit::textChanged, serialPort,
         &SerialPortController::INP_COMM_CFG_Change);
    w.on(&serial, &SerialControl::portLost,
         [this](const QString &reason) { serialPort.portLost(reason); });
    w.on(&serialPort.retryTimer(), &QTimer::timeout, serialPort, &SerialPortController::retry);

    // The TCP link: the supervisor's tick, the socket's events, the address and the port.
    w.on(&supervisor.timer(), &QTimer::timeout, supervisor, &TcpSupervisor::TIM_CONNECT_TCP_Timer);
    w.on(&tcp, &TcpControl::connected, supervisor, &TcpSupervisor::TCP_Connect);
    w.on(&tcp, &TcpControl::errorOccurred,
         [this](int, const QString &description) { supervisor.TCP_Error(description); });
    w.on(&tcp, &TcpControl::closedByPeer, supervisor, &TcpSupervisor::closedByPeer);
    w.on(v.tcpLink.INP_IP_ADR, &QLineEdit::textChanged, supervisor,
         &TcpSupervisor::INP_IP_ADR_Change);
    w.on(v.tcpLink.INP_IP_PORT, &PickList::picked, supervisor, &TcpSupervisor::INP_IP_PORT_Click);

    // What arrives: a TCP chunk, data on the serial port, the poller's ticks; and once the
    // session log has caught up, what the links held back meanwhile.
    w.on(&tcp, &TcpControl::dataArrival, dispatcher, &TcpDispatcher::TCP_DataArrival);
    w.on(&serial, &SerialControl::dataWaiting, poller, &SerialPoller::dataWaiting);
    w.on(&poller.timer(), &QTimer::timeout, poller, &SerialPoller::TIM_COMM_RX_Timer);
    w.on(&poller.frameTimer(), &QTimer::timeout, poller, &SerialPoller::TIM_COMM_RX_Timer);
    w.on(&record, &TrafficRecord::backlogCleared, dispatcher, &TcpDispatcher::backlogCleared);
    w.on(&record, &TrafficRecord::backlogCleared, poller, &SerialPoller::backlogCleared);

    // The terminals: TXT_TCP_WIN with its auto answer, and TXT_232_WIN, which the RFID reader
    // simulator keeps short.
    w.terminal(v.tcpTerminal.terminal, tcpTerminal, &TcpTerminal::clear);
    w.on(v.tcpTerminal.terminal.box, &TerminalBox::changed, tcpTerminal,
         &TcpTerminal::TXT_TCP_WIN_Change);
    w.on(&tcpTerminal, &TcpTerminal::autoAnswerTest, outputs, &TtlPanel::pulseAllOutputs);
    w.terminal(v.serialTerminal.terminal, poller, &SerialPoller::B_CLEAR_232_Click);
    w.on(v.serialTerminal.terminal.box, &TerminalBox::changed, poller,
         &SerialPoller::checkSimulatorCap);

    // The RFID reader simulator: its box sets the reader's speed, and from then on the record
    // reads the serial line as the reader's protocol.
    w.on(v.rfid.SW_TOURNRFID, &QAbstractButton::clicked, rfid, &RfidSimulator::SW_TOURNRFID_Click);
    w.on(v.rfid.SW_TOURNRFID, &QAbstractButton::toggled, [this](bool on) {
        record.setReaderLine(on);
        poller.simulatorSwitched();
    });

    // The outputs, the status requests, the zoom picture and the batch commands.
    for (int output = 1; output <= 4; ++output) {
        for (int i = 0; i < 2; ++i)
            w.on(v.outputs.SW_TTL_OUT[output - 1][i], &QAbstractButton::clicked,
                 [this, output, i] { outputs.SW_TTL_OUT_Click(output, i); });
        w.on(v.outputs.B_TTL_XX[output - 1], &QAbstractButton::clicked,
             [this, output] { outputs.B_TTL_XX_Click(output); });
    }
    w.on(v.outputs.B_STATUS, &QAbstractButton::clicked, outputs, &TtlPanel::B_STATUS_Click);
    w.on(v.outputs.B_STATUS2, &QAbstractButton::clicked, outputs, &TtlPanel::B_STATUS2_Click);
    w.on(v.outputs.B_ZOOM_TEST, &PictureButton::clicked, outputs, &TtlPanel::B_ZOOM_TEST_Click);
    for (int i = 0; i < int(v.batch.pulses.size()); ++i)
        w.on(v.batch.pulses[i], &QAbstractButton::clicked, [this, i] { batch.sendPulse(i); });
    w.on(v.batch.batchOn, &QAbstractButton::clicked, batch, &BatchPanel::sendBatchOn);
    w.on(v.batch.batchOff, &QAbstractButton::clicked, batch, &BatchPanel::sendBatchOff);

    // The turnstile's commands and its remote configuration.
    const TurnstileView &t = v.turnstile;
    using T = TurnstilePanel;
    w.on(t.B_T_BRAS_TOMBE, &QAbstractButton::clicked, turnstile, &T::B_T_BRAS_TOMBE_Click);
    w.on(t.B_T_DEL_R_XX, &QAbstractButton::clicked, turnstile, &T::B_T_DEL_R_XX_Click);
    w.on(t.B_T_DEL_V_XX, &QAbstractButton::clicked, turnstile, &T::B_T_DEL_V_XX_Click);
    w.on(t.B_T_DirectCmd, &QAbstractButton::clicked, turnstile, &T::B_T_DirectCmd_Click);
    w.on(t.B_T_PASSAGE, &QAbstractButton::clicked, turnstile, &T::B_T_PASSAGE_Click);
    w.on(t.B_T_VALID_TIMEOUT, &QAbstractButton::clicked, turnstile, &T::B_T_VALID_TIMEOUT_Click);
    w.on(t.firstThenTypedPassage, &QAbstractButton::clicked, turnstile,
         &T::sendFirstThenTypedPassage);
    w.on(t.singlePassageWithDelay, &QAbstractButton::clicked, turnstile,
         &T::sendSinglePassageWithDelay);
    w.on(t.singlePassageNoDelay, &QAbstractButton::clicked, turnstile,
         &T::sendSinglePassageNoDelay);
    w.on(t.okRedLedThreeSeconds, &QAbstractButton::clicked, turnstile,
         &T::sendOkRedLedThreeSeconds);
    w.on(t.SW_T_DEL_R, &QAbstractButton::clicked, turnstile, &T::SW_T_DEL_R_Click);
    w.on(t.SW_T_DEL_V, &QAbstractButton::clicked, turnstile, &T::SW_T_DEL_V_Click);
    w.on(t.LST_T_MODE, &PickList::picked, turnstile, &T::LST_T_MODE_Click);
    w.on(v.remoteConfig.B_T_RX_CFG_REMOTE, &QAbstractButton::clicked, remoteConfig,
         &RemoteConfig::B_T_RX_CFG_REMOTE_Click);
    w.on(v.remoteConfig.B_T_TX_CFG_REMOTE, &QAbstractButton::clicked, remoteConfig,
         &RemoteConfig::B_T_TX_CFG_REMOTE_Click);

    // The send test.
    w.on(v.sendTest.B_TST_SEND, &QAbstractButton::clicked, sendTest, &SendTest::B_TST_SEND_Click);
}

} // namespace kalveno
