// What the session log keeps up with, and what it costs. First the log alone: a record fed 50 MB
// of text in 64 KiB chunks as fast as the log lets it (the record holds the feed back while the
// log is behind). Then 50 MB of 80-character lines written by another process into the serial
// line of the real console, offscreen, with the log on as released: the rate at which the
// console takes them, its CPU, and the log thread's share of it. Start it inside the private
// network namespace (tools/bench does), since the console broadcasts.
#include "app/mainwindow.h"
#include "app/settings.h"
#include "consolesetup.h"
#include "measure.h"
#include "platform/locations.h"
#include "platform/sessionlog.h"
#include "platform/trafficrecord.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalveno;
using namespace kalveno::bench;
using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype TransferSize = 50 * 1000 * 1000;
constexpr double MB = 1e6;

// The CPU of the process and of the window's thread; the log's thread has the difference.
struct Cpu
{
    double process = cpuSeconds(RUSAGE_SELF);
    double window = cpuSeconds(RUSAGE_THREAD);
};

QByteArray lines(qsizetype size)
{
    QByteArray line(78, 'L');
    line += "\r\n";
    QByteArray text;
    text.reserve(size + line.size());
    while (text.size() < size)
        text += line;
    text.truncate(size);
    return text;
}

qint64 folderSize(const QString &folder)
{
    qint64 size = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files))
        size += file.size();
    return size;
}

void report(const char *what, double seconds, const Cpu &before, const Cpu &after, qint64 written)
{
    const double process = after.process - before.process;
    const double log = process - (after.window - before.window);
    std::printf("%-26s %6.1f MB/s in %5.2f s; CPU %5.2f s, the log's thread %5.2f s of it "
                "(%3.0f %% of a core); %5.1f MB of log\n",
                what, TransferSize / MB / seconds, seconds, process, log, 100 * log / seconds,
                written / MB);
    std::fflush(stdout);
}

void logAlone(const QString &folder)
{
    const QByteArray text = lines(TransferSize);
    TrafficRecord record;
    QEventLoop loop;
    QObject::connect(&record, &TrafficRecord::backlogCleared, &loop, &QEventLoop::quit);
    const Cpu before;
    QElapsedTimer clock;
    clock.start();
    {
        SessionLog log(record, folder, ConsoleSettings{}.logFileLimit,
                       ConsoleSettings{}.logTotalLimit);
        for (qsizetype at = 0; at < text.size(); at += 64 * 1024) {
            if (record.isBacklogged())
                loop.exec();
            record.received(u"COM1"_s, text.mid(at, 64 * 1024));
        }
        log.close();
    }
    report("log alone, 64 KiB chunks", clock.nsecsElapsed() / 1e9, before, Cpu(),
           folderSize(folder));
}

void throughTheConsole(const QString &state)
{
    const bench::ConsoleSetup setup(state);
    const int master = setup.master;

    const QByteArray text = lines(TransferSize);
    MainWindow window{ConsoleSettings{}};
    qsizetype received = 0;
    QEventLoop loop;
    QObject::connect(&window.record(), &TrafficRecord::appended, &loop,
                     [&](const TrafficEntry &entry) {
                         if (entry.direction == Direction::Received && entry.link == u"COM1" &&
                             (received += entry.bytes.size()) >= TransferSize)
                             loop.quit();
                     });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);

    const Cpu before;
    QElapsedTimer clock;
    clock.start();
    const pid_t writer = fork();
    if (writer == 0) {
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) & ~O_NONBLOCK);
        for (qsizetype done = 0; done < text.size();) {
            const ssize_t n = write(master, text.constData() + done, size_t(text.size() - done));
            if (n <= 0)
                _exit(1);
            done += n;
        }
        _exit(0);
    }
    loop.exec();
    window.close(); // the shut-down writes what the log still holds
    const double seconds = clock.nsecsElapsed() / 1e9;
    const Cpu after;
    waitpid(writer, nullptr, 0);
    if (received < TransferSize)
        std::printf("  (incomplete: %lld of %lld bytes)\n", static_cast<long long>(received),
                    static_cast<long long>(TransferSize));
    report("serial line, the console", seconds, before, after,
           folderSize(locations::sessionsFolder()));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir alone;
    logAlone(alone.path());
    QTemporaryDir state;
    throughTheConsole(state.path());
    return 0;
}
