// One kalveno-check process against a site of 1, 64, 256 and 1024 simulated bridges in one
// simulator, with all five steps: the check's wall time, its CPU, its peak resident memory and
// its peak of open descriptors, and the simulator's CPU beside it. Both programs raise their own
// descriptor limit. Start it inside the private network namespace (tools/bench does), where
// every 127.x.y.z address is on the loopback interface. It prints figures; nothing fails.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

extern char **environ;

namespace {

constexpr int SampleMs = 2;

int openDescriptors(pid_t pid)
{
    DIR *folder = ::opendir(QByteArray("/proc/" + QByteArray::number(pid) + "/fd").constData());
    if (!folder)
        return 0;
    int count = 0;
    while (const dirent *entry = ::readdir(folder))
        count += entry->d_name[0] != '.';
    ::closedir(folder);
    return count;
}

// User and system time of a running process, in seconds.
double cpuOf(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.sliced(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

struct Figures
{
    int exit = -1;
    double wall = 0;
    double cpu = 0;
    long maxRssKiB = 0;
    int peakDescriptors = 0;
};

// Runs the check with its output thrown away, sampling its descriptors until it ends.
Figures runCheck(const QStringList &arguments)
{
    std::vector<QByteArray> args{QByteArrayLiteral(KALVENO_CHECK)};
    for (const QString &argument : arguments)
        args.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Figures figures;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return figures;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        figures.peakDescriptors = qMax(figures.peakDescriptors, openDescriptors(pid));
        QThread::msleep(SampleMs);
    }
    figures.wall = double(clock.nsecsElapsed()) / 1e9;
    figures.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    figures.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    figures.maxRssKiB = usage.ru_maxrss;
    return figures;
}

void measure(int bridges, int jobs, bool logs = false)
{
    QProcess site;
    site.start(QStringLiteral(KALVENO_SIMULATOR),
               {u"--bridges"_s, QString::number(bridges), u"--address"_s, u"127.0.1.1"_s,
                u"--log"_s, u"/dev/null"_s});
    QByteArray said;
    while (!said.contains("ready\n") && site.waitForReadyRead(10000))
        said += site.readAllStandardOutput();
    if (!said.contains("ready\n")) {
        std::printf("%6d  the simulator did not start: %s\n", bridges,
                    site.readAllStandardError().constData());
        return;
    }
    QTemporaryDir dir;
    QFile list(dir.filePath(u"bridges"_s));
    list.open(QIODevice::WriteOnly);
    for (int i = 0; i < bridges; ++i)
        list.write(u"bridge-%1 127.0.%2.%3\n"_s.arg(i + 1)
                       .arg(1 + (i + 1) / 256)
                       .arg((i + 1) % 256)
                       .toLatin1());
    list.close();
    const double simBefore = cpuOf(site.processId());
    QStringList arguments{u"--bridges"_s, list.fileName(),
                          u"--steps"_s,   u"connect,status,outputs,config,loop"_s,
                          u"--jobs"_s,    QString::number(jobs),
                          u"--json"_s,    dir.filePath(u"r.json"_s)};
    if (logs)
        arguments << u"--log-dir"_s << dir.filePath(u"logs"_s);
    const Figures f = runCheck(arguments);
    const double simCpu = cpuOf(site.processId()) - simBefore;
    std::printf("%6d  %5d  %7.2f  %7.2f  %8.1f  %6d  %9.2f  %s\n", bridges, jobs, f.wall, f.cpu,
                double(f.maxRssKiB) / 1024.0, f.peakDescriptors, simCpu,
                f.exit == 0   ? "all passed"
                : f.exit == 1 ? "some FAILED"
                              : "check failed to run");
    site.write("quit\n");
    site.waitForFinished(10000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("kalveno-check, all five steps, one simulator playing the site (wall and CPU in "
                "seconds, memory in MiB)\n");
    std::printf("%6s  %5s  %7s  %7s  %8s  %6s  %9s\n", "bridges", "jobs", "wall", "cpu", "max rss",
                "fds", "sim cpu");
    for (const int bridges : {1, 64, 256, 1024})
        measure(bridges, 64);
    // More at once, and with a session log per bridge, for the largest site.
    measure(1024, 256);
    measure(1024, 64, true);
    return 0;
}
