// What the console's links cost, on the real window offscreen: how fast it takes bytes from its
// serial port into the serial terminal (5 MB of 80-character lines and 5 MB cycling all 256
// byte values, written by a separate process into a pseudo-terminal; the same transfer read by
// a plain read() loop as the machine's limit); 50 MB from a TCP peer through the receive
// dispatcher into the TCP terminal; how long the window stays unanswered under a flood of line
// breaks and an 8 MB paste; the latency of a single byte; how long the window stays
// unanswered while the RFID reader simulator gathers request frames from a noisy line; the
// console's CPU at rest with both links up; both links flooded at once with the traffic view
// open, and the session log checked against what arrived. Start it inside the private network
// namespace (tools/bench does), since the console broadcasts.
#include "app/mainwindow.h"
#include "app/settings.h"
#include "consolesetup.h"
#include "measure.h"
#include "platform/locations.h"
#include "platform/trafficrecord.h"
#include "protocol/logline.h"
#include "protocol/rfid.h"
#include "widgets/controls.h"
#include "widgets/terminalbox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace kalveno;
using namespace kalveno::bench;

namespace {

constexpr qsizetype TransferSize = 5 * 1024 * 1024;

bool runEventLoopUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QByteArray lines()
{
    QByteArray line(78, 'L');
    line += "\r\n";
    QByteArray data;
    data.reserve(TransferSize);
    while (data.size() < TransferSize)
        data += line;
    data.truncate(TransferSize);
    return data;
}

QByteArray allValues()
{
    QByteArray data(TransferSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i % 256);
    return data;
}

qsizetype shownSize(const QByteArray &data)
{
    return std::count_if(data.cbegin(), data.cend(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0xF2 || b > 0xF5;
    });
}

// Writes the data into the master from a child process, so the writer's CPU is not counted.
pid_t writeInChild(int master, const QByteArray &data)
{
    const pid_t child = fork();
    if (child == 0) {
        int flags = fcntl(master, F_GETFL);
        fcntl(master, F_SETFL, flags & ~O_NONBLOCK);
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = write(master, data.constData() + done, size_t(data.size() - done));
            if (n <= 0)
                _exit(1);
            done += n;
        }
        _exit(0);
    }
    return child;
}

struct Figures
{
    double seconds = 0;
    double cpu = 0;
};

Figures plainReader(const QByteArray &data)
{
    int master = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    openpty(&master, &slave, nullptr, &raw, nullptr);
    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    const pid_t child = writeInChild(master, data);
    QByteArray buffer(65536, Qt::Uninitialized);
    qsizetype total = 0;
    while (total < data.size()) {
        const ssize_t n = read(slave, buffer.data(), size_t(buffer.size()));
        if (n <= 0)
            break;
        total += n;
    }
    Figures f{clock.nsecsElapsed() / 1e9, cpuSeconds() - cpu0};
    waitpid(child, nullptr, 0);
    close(master);
    close(slave);
    return f;
}

TerminalBox *terminal(MainWindow &window, const char *name)
{
    return control<TerminalBox>(window.designArea(), name);
}

Figures console(MainWindow &window, int master, const QByteArray &data)
{
    TerminalBox *terminal = ::terminal(window, "TXT_232_WIN");
    terminal->setBytes({});
    const qsizetype expected = shownSize(data);
    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    const pid_t child = writeInChild(master, data);
    const bool complete = runEventLoopUntil([&] { return terminal->length() >= expected; }, 600000);
    Figures f{clock.nsecsElapsed() / 1e9, cpuSeconds() - cpu0};
    waitpid(child, nullptr, 0);
    if (!complete || terminal->bytes().size() != expected)
        std::printf("  (incomplete: %lld of %lld bytes shown)\n",
                    static_cast<long long>(terminal->length()), static_cast<long long>(expected));
    return f;
}

// Counts the bytes that the record sees arrive on TCP (bytes[0]) and on the serial line
// (bytes[1]) while it lives.
struct Arrivals
{
    explicit Arrivals(TrafficRecord &record)
    {
        QObject::connect(&record, &TrafficRecord::appended, &scope, [this](const TrafficEntry &e) {
            if (e.direction == Direction::Received && e.link != u"UDP")
                bytes[e.link == u"COM1"] += e.bytes.size();
        });
    }
    qint64 bytes[2] = {};
    QObject scope;
};

// 50 MB of text from the bridge's side of the TCP link, as fast as the console takes it; the
// terminal is emptied at its cap of 10000 characters, so only the count arrived is watched.
Figures tcpIntake(MainWindow &window, QTcpSocket &peer)
{
    constexpr qsizetype Size = 50 * 1024 * 1024;
    QByteArray line(78, 'T');
    line += "\r\n";
    const QByteArray block = line.repeated(65536 / line.size());
    const Arrivals arrivals(window.record());
    const qint64 &received = arrivals.bytes[0];
    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    qint64 queued = 0;
    runEventLoopUntil(
        [&] {
            while (queued < Size && peer.bytesToWrite() < 4 * block.size())
                queued += peer.write(block);
            return received >= queued && queued >= Size;
        },
        600000);
    return {clock.nsecsElapsed() / 1e9, cpuSeconds() - cpu0};
}

// The window's answer time while something else happens: a 10 ms timer whose late ticks add up
// to the time the window could not answer (gaps over 100 ms).
class Pinger
{
public:
    Pinger()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const qint64 gap = m_clock.restart();
            m_longestMs = qMax(m_longestMs, gap);
            if (gap > 100)
                m_frozenMs += gap;
        });
        m_clock.start();
        m_timer.start();
    }
    double frozenSeconds() const { return m_frozenMs / 1000.0; }
    qint64 longestMs() const { return m_longestMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_frozenMs = 0;
    qint64 m_longestMs = 0;
};

// The longest gap between the window's 10 ms ticks (a click waits at most that long) while 4 MB of
// nothing but CR and LF arrive on TCP (the terminal breaks a line at each), and while 8 MB are
// pasted into the TCP terminal and go out to the bridge.
void floodsAndPastes(MainWindow &window, QTcpSocket &peer)
{
    QByteArray breaks(4 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &c : breaks)
        c = random.bounded(2) ? '\r' : '\n';
    const Arrivals arrivals(window.record());
    const qint64 &received = arrivals.bytes[0];
    {
        Pinger ping;
        peer.write(breaks);
        runEventLoopUntil([&] { return received >= breaks.size(); }, 60000);
        runEventLoopFor(100);
        std::printf("4 MB of CR and LF on TCP: longest gap between 10 ms ticks %lld ms\n",
                    ping.longestMs());
    }

    TerminalBox *box = terminal(window, "TXT_TCP_WIN");
    box->setFocus();
    const QByteArray pasted = lines().repeated(2).left(8 << 20);
    QApplication::clipboard()->setText(QString::fromLatin1(pasted));
    Pinger ping;
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier,
                    QStringLiteral("\x16"));
    qint64 pasteNs = 0;
    qint64 arrived = 0;
    peer.readAll();
    QObject::connect(&peer, &QIODevice::readyRead, box, [&] { arrived += peer.readAll().size(); });
    QElapsedTimer clock;
    QTimer::singleShot(20, box, [&] {
        clock.start();
        QApplication::sendEvent(box, &paste);
        pasteNs = clock.nsecsElapsed();
    });
    runEventLoopUntil([&] { return arrived >= pasted.size(); }, 60000);
    std::printf("8 MB pasted into the TCP terminal (%lld bytes there, %lld at the bridge after "
                "%.0f ms): the key %.1f ms, longest gap between 10 ms ticks %lld ms\n",
                qint64(box->length()), arrived, clock.nsecsElapsed() / 1e6, pasteNs / 1e6,
                ping.longestMs());
    QObject::disconnect(&peer, &QIODevice::readyRead, box, nullptr);
    box->setBytes({});
}

// Writes bytes into the line on a schedule from a thread of its own, and counts the reader
// replies that come back.
struct LineDriver
{
    int master;
    std::atomic<int> replies{0};
    std::atomic<bool> done{false};

    void run(const std::function<void(int)> &script)
    {
        std::thread writer([&] {
            script(master);
            done = true;
        });
        QByteArray buffer(4096, Qt::Uninitialized);
        QByteArray got;
        while (!done) {
            runEventLoopFor(5);
            pollfd p{master, POLLIN, 0};
            while (poll(&p, 1, 0) > 0) {
                const ssize_t n = read(master, buffer.data(), size_t(buffer.size()));
                if (n <= 0)
                    break;
                got += buffer.first(n);
            }
        }
        writer.join();
        runEventLoopFor(1200);
        for (qsizetype i = 0; i + 5 <= got.size();) {
            const qsizetype length = static_cast<unsigned char>(got[i]) + 1;
            if (i + length > got.size())
                break;
            if (rfid::hasValidCrc(got.sliced(i, length)))
                ++replies;
            i += length;
        }
    }
};

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void writeBytes(int master, QByteArrayView bytes)
{
    if (write(master, bytes.data(), size_t(bytes.size())) != bytes.size())
        std::printf("  (a write to the line failed)\n");
}

void rfidWait(MainWindow &window, int master)
{
    auto *simulator = control<QCheckBox>(window.designArea(), "SW_TOURNRFID");
    simulator->click();
    control<QCheckBox>(window.designArea(), "SW_TOURNRFID_CARTE(0)")->setChecked(true);
    runEventLoopFor(500);
    std::printf("RFID reader simulator on a noisy line (window unanswered: sum of gaps over "
                "100 ms):\n");
    {
        Pinger ping;
        LineDriver line{master};
        line.run([](int fd) {
            for (int i = 0; i < 19; ++i) {
                writeBytes(fd, "\xFF");
                sleepMs(1050);
            }
        });
        std::printf("  one FF byte every 1.05 s for 20 s: %.1f s unanswered\n",
                    ping.frozenSeconds());
    }
    {
        Pinger ping;
        LineDriver line{master};
        line.run([](int fd) {
            for (int i = 0; i < 400; ++i) {
                const char b = char(QRandomGenerator::global()->bounded(256));
                writeBytes(fd, QByteArrayView(&b, 1));
                sleepMs(50);
            }
        });
        std::printf("  random bytes at 20 bytes/s for 20 s: %.1f s unanswered\n",
                    ping.frozenSeconds());
    }
    {
        Pinger ping;
        LineDriver line{master};
        QElapsedTimer clock;
        clock.start();
        constexpr int Requests = 142;
        line.run([](int fd) {
            for (int i = 0; i < Requests; ++i) {
                const char noise = char(QRandomGenerator::global()->bounded(256));
                writeBytes(fd, QByteArrayView(&noise, 1));
                sleepMs(40);
                writeBytes(fd, rfid::cardQueryRequest());
                sleepMs(40);
            }
        });
        std::printf("  a noise byte before each of %d card queries: %d answered, %.1f s "
                    "unanswered of %.1f s\n",
                    Requests, line.replies.load(), ping.frozenSeconds(),
                    clock.nsecsElapsed() / 1e9);
    }
    simulator->click();
}

double singleByteLatencyMs(MainWindow &window, int master)
{
    TerminalBox *terminal = ::terminal(window, "TXT_232_WIN");
    QList<double> samples;
    for (int i = 0; i < 50; ++i) {
        terminal->setBytes({});
        runEventLoopFor(20);
        QElapsedTimer clock;
        clock.start();
        const char byte = 'k';
        if (write(master, &byte, 1) != 1)
            break;
        runEventLoopUntil([&] { return terminal->length() == 1; }, 5000);
        samples << clock.nsecsElapsed() / 1e6;
    }
    std::sort(samples.begin(), samples.end());
    return samples.isEmpty() ? -1 : samples[samples.size() / 2];
}

// Both links at once with the traffic view open: 20 MB of text from the TCP peer while another
// thread writes 20 MB into the serial line. The longest gap between the window's 10 ms ticks,
// and the resident memory before, after and at its peak.
void floodWithTheViewOpen(MainWindow &window, QTcpSocket &peer, int master)
{
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_T))
            action->trigger();
    }
    runEventLoopFor(500);
    const double before = residentMiB("VmRSS:");
    constexpr qsizetype Size = 20 * 1024 * 1024;
    const QByteArray text = lines().repeated(Size / TransferSize).left(Size);
    const Arrivals arrivals(window.record());
    const qint64(&received)[2] = arrivals.bytes;
    Pinger ping;
    std::thread writer([&] {
        for (qsizetype at = 0; at < Size;) {
            const ssize_t n =
                write(master, text.constData() + at, size_t(qMin<qsizetype>(65536, Size - at)));
            if (n <= 0)
                break;
            at += n;
        }
    });
    qint64 queued = 0;
    runEventLoopUntil(
        [&] {
            while (queued < Size && peer.bytesToWrite() < 256 * 1024)
                queued += peer.write(text.mid(queued, 65536));
            return received[0] >= Size && received[1] >= Size;
        },
        300000);
    writer.join();
    std::printf("20 MB on TCP and 20 MB on the serial line at once, traffic view open: longest "
                "gap between 10 ms ticks %lld ms; resident %.0f MiB before, %.0f after, peak "
                "%.0f%s\n",
                ping.longestMs(), before, residentMiB("VmRSS:"), residentMiB("VmHWM:"),
                received[0] >= Size && received[1] >= Size ? "" : " (incomplete)");
}

// Whether the session log holds every byte that the record saw arrive on TCP and serial.
void checkTheLog(const qint64 (&received)[2])
{
    qint64 logged[2] = {};
    const QDir folder(locations::sessionsFolder());
    for (const QString &name : folder.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const auto line = logline::parse(file.readLine());
            if (line && line->direction == Direction::Received && line->link != u"UDP")
                logged[line->link == u"COM1"] += line->bytes.size();
        }
    }
    std::printf("session log: %lld of %lld bytes received on TCP, %lld of %lld on serial\n",
                logged[0], received[0], logged[1], received[1]);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bench::ConsoleSetup setup;
    const int master = setup.master;

    QTcpServer bridge;
    bridge.listen(QHostAddress::LocalHost, 1024);
    MainWindow window{ConsoleSettings{}};
    if (!runEventLoopUntil([&] { return window.tcpLink().isUp(); }, 10000) ||
        !window.serialLink().isUp() || !bridge.hasPendingConnections()) {
        std::printf("the links did not come up: TCP %s, serial %s\n",
                    qPrintable(window.tcpLink().reason()),
                    qPrintable(window.serialLink().reason()));
        return 1;
    }
    std::unique_ptr<QTcpSocket> peer(bridge.nextPendingConnection());
    const Arrivals received(window.record()); // by the whole run

    std::printf("%-16s %12s %10s %12s %14s %12s %10s\n", "5 MB of", "console MB/s", "CPU s",
                "CPU s/MB", "plain MB/s", "plain CPU s", "ratio");
    const double mb = TransferSize / 1048576.0;
    for (const auto &[label, data] :
         {std::pair{"80-char lines", lines()}, std::pair{"all 256 values", allValues()}}) {
        const Figures c = console(window, master, data);
        const Figures p = plainReader(data);
        std::printf("%-16s %12.1f %10.2f %12.3f %14.1f %12.2f %9.2fx\n", label, mb / c.seconds,
                    c.cpu, c.cpu / mb, mb / p.seconds, p.cpu, (mb / c.seconds) / (mb / p.seconds));
        std::fflush(stdout);
    }

    const Figures tcp = tcpIntake(window, *peer);
    std::printf("50 MB of text from TCP into its terminal: %.1f MB/s, %.2f s CPU\n",
                50 / tcp.seconds, tcp.cpu);

    floodsAndPastes(window, *peer);

    std::printf("single byte to the screen: %.2f ms (median of 50)\n",
                singleByteLatencyMs(window, master));
    rfidWait(window, master);

    terminal(window, "TXT_232_WIN")->setBytes({});
    runEventLoopFor(1000);
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runEventLoopFor(10000);
    std::printf("idle, both links up: %.2f %% of one core over %.0f s\n",
                100.0 * (cpuSeconds() - cpu0) / (clock.nsecsElapsed() / 1e9),
                clock.nsecsElapsed() / 1e9);
    floodWithTheViewOpen(window, *peer, master);
    window.close();
    checkTheLog(received.bytes);
    return 0;
}
