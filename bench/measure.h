// What the benchmarks measure alike: the process's resident memory and processor time, and a
// wait that lets the event loop run.
#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>

namespace kalveno::bench {

// Resident memory of this process in MiB, now (VmRSS) or at its peak (VmHWM); -1 when unknown.
inline double residentMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

// Processor time, user and system, of the process or (RUSAGE_THREAD) the calling thread.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kalveno::bench
