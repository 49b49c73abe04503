#pragma once

#include "app/consolelinks.h"
#include "link/commandrouter.h"
#include "link/tcpsupervisor.h"
#include "link/tcpterminal.h"
#include "loopback/sendtest.h"
#include "model/linkstate.h"
#include "model/reporter.h"
#include "outputs/batchpanel.h"
#include "outputs/ttlpanel.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "platform/trafficrecord.h"
#include "platform/udpcontrol.h"
#include "receive/inputindicators.h"
#include "receive/tcpdispatcher.h"
#include "serial/rfidsimulator.h"
#include "serial/serialpoller.h"
#include "serial/serialportcontroller.h"
#include "testview/testview.h"
#include "turnstile/remoteconfig.h"
#include "turnstile/turnstilepanel.h"

#include <memory>

class QWidget;

namespace kalveno {

class SessionLog;
struct ConsoleSettings;

// Every panel's view of one form, each control found by its design name.
struct PanelViews
{
    TcpLinkView tcpLink;
    TcpTerminalView tcpTerminal;
    RouteView route;
    SerialPortView serialPort;
    SerialTerminalView serialTerminal;
    RfidView rfid;
    TtlInputsView inputs;
    TtlOutputsView outputs;
    BatchView batch;
    TurnstileView turnstile;
    RemoteConfigView remoteConfig;
    SendTestView sendTest;

    static PanelViews find(const QWidget *form);
};

// The console behind its controls, on one form (the window's design area, or a test's own): the
// link models, the record of the traffic and its session log, the platform controls, and each
// panel's controller on its own view of the form. The parts are built in dependency order, the
// order in which they are declared here; every signal and timer between them and the form is
// wired in one table (wire()); and they are torn down in a stated order (~Panels). The window
// and the tests build the console with this one class, so the tests run the window's wiring.
class Panels
{
public:
    // What differs between the console and a test: how a serial port number names a device,
    // and where the session log writes (nowhere when empty).
    struct Platform
    {
        SerialControl::DeviceForNumber devices;
        SerialControl::StableNameOf stableNames = {};
        QString sessionsFolder = {};
    };

    Panels(QWidget *form, const ConsoleSettings &settings, Platform platform);
    ~Panels();
    Q_DISABLE_COPY_MOVE(Panels)

    // Aims the UDP socket at the limited broadcast address and binds it, as start-up does;
    // false, with the socket's error, when it cannot bind.
    bool bindBroadcasts();
    // The end of the shut-down: the links' repeated events written, the TCP supervisor's and the
    // serial poller's timers stopped, the test view gone, the session log closed.
    void stop();

    const PanelViews views;
    Reporter reporter;
    LinkState tcpLink{LinkState::State::Down};
    LinkState serialLink{LinkState::State::Untried};
    TrafficRecord record;
    std::unique_ptr<SessionLog> sessionLog;
    TcpControl tcp;
    UdpControl udp;
    SerialControl serial;
    // What "Send again" sends on.
    ConsoleLinks resendLinks;
    TestViewHost testView;
    SerialPortController serialPort;
    TcpSupervisor supervisor;
    CommandRouter router;
    InputIndicators indicators;
    TtlPanel outputs;
    BatchPanel batch;
    TcpTerminal tcpTerminal;
    TurnstilePanel turnstile;
    RemoteConfig remoteConfig;
    TcpDispatcher dispatcher;
    RfidSimulator rfid;
    SerialPoller poller;
    SendTest sendTest;

private:
    void wire();

    // The context of every connection that wire() makes: deleting it cuts them all.
    std::unique_ptr<QObject> m_wires;
};

} // namespace kalveno
