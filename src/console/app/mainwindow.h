#pragma once

#include "app/mainwindowui.h"

#include <QMainWindow>

#include <memory>

namespace kalveno {

class CommandRouter;
class ConfigStore;
class InputIndicators;
class RfidSimulator;
class SendTest;
class SerialControl;
class SerialPoller;
class SerialPortController;
class StatusLine;
class TcpControl;
class TcpDispatcher;
class TcpSupervisor;
class TcpTerminal;
class TestViewHost;
class TtlPanel;
class TurnstilePanel;
class UdpControl;
struct ConsoleSettings;

// F_MAIN: the console's one main window. It owns every control, both sockets, the serial port
// and the timers; each subsystem's handlers live in a small controller that holds the controls
// it uses. The window builds the controllers in dependency order, wires every signal in one
// place, and runs the start-up sequence before it is first shown.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(const ConsoleSettings &settings, QWidget *parent = nullptr);
    ~MainWindow() override;

    const MainWindowUi &ui() const { return m_ui; }
    TcpControl &tcp() { return *m_tcp; }
    SerialControl &serial() { return *m_serial; }
    StatusLine &statusLine() { return *m_status; }
    ConfigStore &configStore() { return *m_config; }
    TestViewHost &testView() { return *m_testView; }
    RfidSimulator &rfidSimulator() { return *m_rfid; }
    SendTest &sendTest() { return *m_sendTest; }

Q_SIGNALS:
    // The shut-down sequence has run; the program ends here.
    void ended();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wire();
    void Form_Load();
    void Form_Unload();

    MainWindowUi m_ui;
    std::unique_ptr<StatusLine> m_status;
    std::unique_ptr<TcpControl> m_tcp;
    std::unique_ptr<UdpControl> m_udp;
    std::unique_ptr<SerialControl> m_serial;
    std::unique_ptr<ConfigStore> m_config;
    std::unique_ptr<SerialPortController> m_serialPort;
    std::unique_ptr<TcpSupervisor> m_supervisor;
    std::unique_ptr<CommandRouter> m_router;
    std::unique_ptr<InputIndicators> m_indicators;
    std::unique_ptr<TestViewHost> m_testView;
    std::unique_ptr<TtlPanel> m_panel;
    std::unique_ptr<TcpTerminal> m_tcpTerminal;
    std::unique_ptr<TurnstilePanel> m_turnstile;
    std::unique_ptr<TcpDispatcher> m_dispatcher;
    std::unique_ptr<RfidSimulator> m_rfid;
    std::unique_ptr<SerialPoller> m_poller;
    std::unique_ptr<SendTest> m_sendTest;
    bool m_ending = false;
};

} // namespace kalveno
