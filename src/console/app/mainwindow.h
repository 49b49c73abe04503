#pragma once

#include "link/commandrouter.h"
#include "link/tcpsupervisor.h"
#include "link/tcpterminal.h"
#include "loopback/sendtest.h"
#include "model/linkstate.h"
#include "model/reporter.h"
#include "outputs/batchpanel.h"
#include "outputs/ttlpanel.h"
#include "receive/inputindicators.h"
#include "serial/rfidsimulator.h"
#include "serial/serialpoller.h"
#include "serial/serialportcontroller.h"
#include "turnstile/remoteconfig.h"
#include "turnstile/turnstilepanel.h"

#include <QMainWindow>

#include <memory>

class QLockFile;

namespace kalveno {

class ConfigStore;
class ConsoleLinks;
class PortPickerDialog;
class SerialControl;
class SessionLog;
class TcpControl;
class TcpDispatcher;
class TestViewHost;
class TrafficRecord;
class TrafficViews;
class UdpControl;
struct ConsoleSettings;

// F_MAIN: the console's one main window. It owns every control, both sockets, the serial port,
// the link models and the timers. Each panel's handlers live in a small controller that holds
// the panel's own controls; the window builds the controllers in dependency order, wires every
// signal and timer in one place, and runs the start-up sequence before it is first shown. It
// holds a lock in its configuration folder while it runs, so that a second console started on
// the same folder is told at start that it shares its files (and likely its bridge).
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(const ConsoleSettings &settings, QWidget *parent = nullptr);
    ~MainWindow() override;

    QWidget *designArea() const { return m_designArea; }
    const LinkState &tcpLink() const { return m_tcpLink; }
    const LinkState &serialLink() const { return m_serialLink; }
    Reporter &reporter() { return m_reporter; }
    TrafficRecord &record() { return *m_record; }
    TcpControl &tcp() { return *m_tcp; }
    SerialControl &serial() { return *m_serial; }
    TestViewHost &testView() { return *m_testView; }
    SendTest &sendTest() { return *m_sendTest; }

Q_SIGNALS:
    // The shut-down sequence has run; the program ends here.
    void ended();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wire();
    void wireLinks();
    void wirePanels();
    void wirePortPicker();
    void lockFolder();
    void Form_Load();
    void Form_Unload();

    QWidget *m_designArea;
    PortPickerDialog *m_portPicker;
    QAction *m_serialPortsAction;
    Reporter m_reporter;
    LinkState m_tcpLink{LinkState::State::Down};
    LinkState m_serialLink{LinkState::State::Untried};

    TcpLinkView m_tcpLinkView;
    TcpTerminalView m_tcpTerminalView;
    RouteView m_routeView;
    SerialPortView m_serialPortView;
    SerialTerminalView m_serialTerminalView;
    RfidView m_rfidView;
    TtlOutputsView m_outputsView;
    BatchView m_batchView;
    TurnstileView m_turnstileView;
    RemoteConfigView m_remoteConfigView;
    SendTestView m_sendTestView;

    std::unique_ptr<TrafficRecord> m_record;
    std::unique_ptr<SessionLog> m_sessionLog;
    std::unique_ptr<TcpControl> m_tcp;
    std::unique_ptr<UdpControl> m_udp;
    std::unique_ptr<SerialControl> m_serial;
    std::unique_ptr<TestViewHost> m_testView;
    std::unique_ptr<ConsoleLinks> m_resendLinks;
    std::unique_ptr<TrafficViews> m_traffic;
    std::unique_ptr<ConfigStore> m_config;
    std::unique_ptr<SerialPortController> m_serialPort;
    std::unique_ptr<TcpSupervisor> m_supervisor;
    std::unique_ptr<CommandRouter> m_router;
    std::unique_ptr<InputIndicators> m_indicators;
    std::unique_ptr<TtlPanel> m_outputs;
    std::unique_ptr<BatchPanel> m_batch;
    std::unique_ptr<TcpTerminal> m_tcpTerminal;
    std::unique_ptr<TurnstilePanel> m_turnstile;
    std::unique_ptr<RemoteConfig> m_remoteConfig;
    std::unique_ptr<TcpDispatcher> m_dispatcher;
    std::unique_ptr<RfidSimulator> m_rfid;
    std::unique_ptr<SerialPoller> m_poller;
    std::unique_ptr<SendTest> m_sendTest;
    std::unique_ptr<QLockFile> m_folderLock;
    QString m_settingsProblem;
    QString m_sharedFolder;
    bool m_ending = false;
};

} // namespace kalveno
