#pragma once

#include "app/inventory.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "platform/locations.h"
#include "support/pty.h"
#include "support/sandbox.h"
#include "testview/testview.h"
#include "widgets/captionbutton.h"
#include "widgets/controls.h"
#include "widgets/look.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTest>

namespace kalveno::test {

// The TCP side of a bridge: a listener that takes the console's connection. Its waits run the
// event loop, so the console works meanwhile.
struct TcpPeer
{
    explicit TcpPeer(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost)
    {
        server.listen(address, port);
    }
    // Waits for a connection and takes it; false when none came.
    bool accept();
    // What arrived by the time `count` bytes are there or `timeoutMs` has passed.
    QByteArray read(qsizetype count, int timeoutMs = 5000);
    QByteArray take() { return socket ? socket->readAll() : QByteArray(); }

    QTcpServer server;
    std::unique_ptr<QTcpSocket> socket;
};

// Receives the datagrams sent to a port on this machine, as the bridges receive broadcasts.
struct BroadcastListener : QUdpSocket
{
    explicit BroadcastListener(quint16 port = 1024)
    {
        bind(QHostAddress::AnyIPv4, port, ShareAddress);
    }
    // The next datagram, or a null array after the time-out.
    QByteArray next(int timeoutMs = 5000);
};

// Carries bytes both ways between a pseudo-terminal and a TCP connection, as a bridge whose
// serial line is wired back to the workstation's serial port does.
struct LoopBack : QSocketNotifier
{
    LoopBack(Pty &line, QTcpSocket &socket);
};

// The window's controls, built into a plain widget by the window's own inventory.
struct Form : QWidget
{
    Form() { buildInventory(this); }
};

// The far ends of a rig's links, and its form.
struct RigPeers
{
    Form form;
    TcpPeer bridge;
    BroadcastListener broadcasts{0};
    Pty line;
    QHash<int, QString> devices{{1, line.slavePath()}};
    QHash<QString, QString> stableNames;
};

// The console's panels, built and wired as in the window, on a form of their own and on links
// whose far ends the test holds: a TCP peer, a listener for the broadcasts, serial port 1 on a
// pseudo-terminal (`devices` names the others, `stableNames` gives devices stable names). No
// session log; the supervisor's timer does not run, its ticks are the test's own calls.
struct Rig : RigPeers, Panels
{
    explicit Rig(const ConsoleSettings &settings = {});
    // The TCP link to the peer and serial port 1 come up.
    bool connect();
    // Nothing arrives on any link for `ms`, the event loop running meanwhile.
    bool quiet(int ms = 200);
    template<typename T>
    T *find(const char *name) const
    {
        return control<T>(&form, name);
    }
};

// Everything ever appended to a terminal, across its clears: the terminal only ever grows by
// appends at its end or is emptied whole.
struct Transcript : QObject
{
    explicit Transcript(const TerminalBox *box)
    {
        connect(box, &TerminalBox::changed, this, [this, box] {
            text += box->bytes().mid(box->length() >= seen ? seen : 0);
            seen = box->length();
        });
    }
    qsizetype seen = 0;
    QByteArray text;
};

// The console as a technician starts it, in a configuration folder of the test's own, with
// serial port 1 on a pseudo-terminal the test holds the other end of.
struct Console
{
    // A null config means no configuration file at all.
    explicit Console(const QByteArray &config = configFor(" 1 ", "127.0.0.1"),
                     const QByteArray &ini = {});
    template<typename T>
    T *find(const char *name) const
    {
        return control<T>(window->designArea(), name);
    }

    TemporaryConfig config;
    Pty line;
    std::unique_ptr<MainWindow> window;
};

// A person's click: option buttons and check boxes at their indicator.
void click(QWidget *control);
// A person's double-click, on a terminal's surface.
void doubleClick(TerminalBox *terminal);
// The program's own look, and the guard that the test cannot reach a real network.
bool prepareConsoleTest();

} // namespace kalveno::test
