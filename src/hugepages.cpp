#include "hugepages.h"

#include <QByteArray>
#include <QtGlobal>

#ifdef __GLIBC__
#include <unistd.h>
#endif

namespace kalveno {

// During a flood the traffic record and the terminals take fresh memory all the time, and the
// kernel maps each new 4 KiB page at its first touch, at a cost of microseconds: a flood of
// 50 MB touches tens of thousands of them, time taken from reading the links. glibc's allocator
// asks for transparent huge pages (2 MiB, one first touch instead of 512) where the system allows
// them, but only when its tunable glibc.malloc.hugetlb says so, and it reads GLIBC_TUNABLES once,
// as the program starts: set from main(), the tunable comes too late. So the console sets it and
// starts its own program again (/proc/self/exe, with the same arguments and the same process id,
// before any thread, socket or window exists); the second start finds the tunable set and goes on.
// A user's own choice in GLIBC_TUNABLES (glibc.malloc.hugetlb=0 to keep small pages) is kept. When
// the start fails (no /proc mounted, for one), execv returns and the console goes on with small
// pages, only slower in a flood; a glibc that does not know the tunable ignores it.
void preferHugePages(char *argv[])
{
#ifdef __GLIBC__
    const QByteArray tunables = qgetenv("GLIBC_TUNABLES");
    if (tunables.contains("glibc.malloc.hugetlb"))
        return;
    qputenv("GLIBC_TUNABLES", tunables.isEmpty() ? QByteArray("glibc.malloc.hugetlb=1")
                                                 : tunables + ":glibc.malloc.hugetlb=1");
    execv("/proc/self/exe", argv);
#else
    Q_UNUSED(argv);
#endif
}

} // namespace kalveno
