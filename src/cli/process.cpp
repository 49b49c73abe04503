#include "process.h"

#include <csignal>
#include <sys/resource.h>

namespace kalveno::cli {

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

quint64 raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? 0 : quint64(limit.rlim_cur);
}

} // namespace kalveno::cli
