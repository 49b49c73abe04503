// What a chatty line costs over time: small chunks at the pace a real line brings them, on TCP and
// on the serial line at once, into the real console offscreen with its traffic view open. Each
// link gets a chunk of 20 bytes every 10 ms (100 chunks a second) for 10 minutes, the time
// compressed by a factor (2 by default: a chunk every 5 ms for 5 minutes, still one read per
// chunk); once with the record held to 1 MiB and once to 16 MiB, each in a process of its own.
// It prints the resident memory as the run goes, and at its end against idle + the record's
// bound + 24 MiB. Arguments: [minutes] [compression]. Start it inside the private network
// namespace (tools/bench does), since the console broadcasts.
#include "app/mainwindow.h"
#include "app/settings.h"
#include "consolesetup.h"
#include "measure.h"
#include "platform/trafficrecord.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kalveno;
using namespace kalveno::bench;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr int ChunkBytes = 20;

// The bridge's side: a listener on 127.0.0.1:1024 whose one connection, and the serial line's
// other end, get a chunk each every interval, from a thread of their own.
class Writer
{
public:
    Writer()
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(1024);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(m_listener, 4) != 0)
            std::printf("cannot listen on 127.0.0.1:1024\n");
    }
    ~Writer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_listener);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void start(int serial, long intervalNs, qint64 chunks)
    {
        m_thread = std::thread([this, serial, intervalNs, chunks] {
            const int tcp = accept(m_listener, nullptr, nullptr);
            const int on = 1;
            setsockopt(tcp, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            timespec next{};
            clock_gettime(CLOCK_MONOTONIC, &next);
            char chunk[32];
            for (qint64 i = 0; i < chunks && !m_stop; ++i) {
                std::snprintf(chunk, sizeof chunk, "reading %010lld\r\n", i % 10'000'000'000);
                if (write(tcp, chunk, ChunkBytes) != ChunkBytes ||
                    write(serial, chunk, ChunkBytes) != ChunkBytes)
                    break;
                m_written = i + 1;
                next.tv_nsec += intervalNs;
                while (next.tv_nsec >= 1000000000) {
                    next.tv_nsec -= 1000000000;
                    ++next.tv_sec;
                }
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            }
            m_done = true;
            close(tcp);
        });
    }
    qint64 written() const { return m_written; }
    bool done() const { return m_done; }

private:
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<qint64> m_written{0};
};

int run(int argc, char **argv, qint64 boundMiB, double minutes, double compression)
{
    QApplication app(argc, argv);
    const bench::ConsoleSetup setup;
    Writer writer;
    ConsoleSettings settings;
    settings.recordLimit = boundMiB * MiB;
    MainWindow window{settings};
    QElapsedTimer up;
    up.start();
    while (!(window.tcpLink().isUp() && window.serialLink().isUp()) && up.elapsed() < 10000)
        runEventLoopFor(50);
    if (!window.tcpLink().isUp() || !window.serialLink().isUp()) {
        std::printf("the links did not come up\n");
        return 1;
    }
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_T))
            action->trigger();
    }
    runEventLoopFor(2000);
    const double idle = residentMiB("VmRSS:");

    qint64 chunks[2] = {}; // TCP, serial
    qint64 bytes[2] = {};
    QObject::connect(&window.record(), &TrafficRecord::appended, &window,
                     [&](const TrafficEntry &e) {
                         if (e.direction != Direction::Received || e.link == u"UDP")
                             return;
                         ++chunks[e.link == u"COM1"];
                         bytes[e.link == u"COM1"] += e.bytes.size();
                     });
    const double seconds = minutes * 60 / compression;
    const long intervalNs = long(10'000'000 / compression);
    const auto total = qint64(seconds * 1e9 / double(intervalNs));
    std::printf("memory_mib=%lld: %lld chunks of %d bytes on each link, one every %.1f ms "
                "(%.0f minutes of a real line in %.0f s); idle %.0f MiB\n",
                boundMiB, total, ChunkBytes, double(intervalNs) / 1e6, minutes, seconds, idle);
    std::printf("  %6s %10s %10s %12s %10s\n", "s", "TCP reads", "COM1 reads", "record KiB",
                "RSS MiB");
    std::fflush(stdout);
    writer.start(setup.master, intervalNs, total);
    QElapsedTimer clock;
    clock.start();
    const qint64 step = qint64(seconds * 100); // ten reports, in ms
    for (qint64 next = step; !writer.done() || bytes[0] + bytes[1] < 2 * total * ChunkBytes;) {
        runEventLoopFor(100);
        if (clock.elapsed() >= next) {
            std::printf("  %6.0f %10lld %10lld %12lld %10.1f\n", clock.elapsed() / 1000.0,
                        chunks[0], chunks[1], window.record().memoryUsed() / 1024,
                        residentMiB("VmRSS:"));
            std::fflush(stdout);
            next += step;
        }
        if (clock.elapsed() > qint64(seconds * 1000) + 60000)
            break;
    }
    runEventLoopFor(1000);
    const double rss = residentMiB("VmRSS:");
    const double peak = residentMiB("VmHWM:");
    const double allowed = idle + double(boundMiB) + 24;
    std::printf("  %lld + %lld bytes in %lld + %lld reads (%.1f bytes a read); RSS %.1f MiB at the "
                "end, peak %.1f, allowed %.1f (idle + %lld + 24): %s\n",
                bytes[0], bytes[1], chunks[0], chunks[1],
                double(bytes[0] + bytes[1]) / double(qMax<qint64>(1, chunks[0] + chunks[1])), rss,
                peak, allowed, boundMiB, peak <= allowed ? "within" : "BEYOND");
    std::fflush(stdout);
    window.close();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    const double compression = argc > 2 ? std::atof(argv[2]) : 2;
    for (const qint64 bound : {1, 16}) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0)
            _exit(run(argc, argv, bound, minutes, compression));
        waitpid(child, nullptr, 0);
    }
    return 0;
}
