// How fast the console takes bytes from its serial port into the serial terminal, and what it
// costs: 5 MB of 80-character lines and 5 MB cycling all 256 byte values, each written by a
// separate process into a pseudo-terminal; the same transfer read by a plain read() loop as
// the machine's limit; the latency of a single byte; the console's CPU at rest with both
// links up. Runs the real window offscreen; start it inside the private network namespace
// (tools/bench does), since the console broadcasts.
#include "app/look.h"
#include "app/mainwindow.h"
#include "platform/locations.h"
#include "widgets/terminalbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace kalveno;

namespace {

constexpr qsizetype TransferSize = 5 * 1024 * 1024;

double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

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

Figures console(MainWindow &window, int master, const QByteArray &data)
{
    TerminalBox *terminal = window.ui().TXT_232_WIN;
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

double singleByteLatencyMs(MainWindow &window, int master)
{
    TerminalBox *terminal = window.ui().TXT_232_WIN;
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

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QDir().mkpath(locations::folder());

    int master = -1, slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    openpty(&master, &slave, name, &raw, nullptr);
    close(slave);
    QFile::link(QString::fromLocal8Bit(name), locations::folder() + QStringLiteral("/com1"));
    QFile cfg(locations::configFile());
    cfg.open(QIODevice::WriteOnly);
    cfg.write("FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)\r\n 1 \r\n"
              "127.0.0.1\r\n");
    cfg.close();

    QTcpServer bridge;
    bridge.listen(QHostAddress::LocalHost, 1024);
    MainWindow window{ConsoleSettings{}};
    if (!runEventLoopUntil([&] { return isUp(window.ui().INP_IP_ADR); }, 10000) ||
        !isUp(window.ui().INP_COMM_NO)) {
        std::printf("the links did not come up\n");
        return 1;
    }

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

    std::printf("single byte to the screen: %.2f ms (median of 50)\n",
                singleByteLatencyMs(window, master));

    window.ui().TXT_232_WIN->setBytes({});
    runEventLoopFor(1000);
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runEventLoopFor(10000);
    std::printf("idle, both links up: %.2f %% of one core over %.0f s\n",
                100.0 * (cpuSeconds() - cpu0) / (clock.nsecsElapsed() / 1e9),
                clock.nsecsElapsed() / 1e9);
    close(master);
    return 0;
}
