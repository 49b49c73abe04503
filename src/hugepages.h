#pragma once

namespace kalveno {

// Starts the console once more, with the C library's heap on transparent huge pages, unless
// GLIBC_TUNABLES already says how the heap takes its pages. Returns only where it does not
// start again: the tunable already set, a C library other than glibc, or a start that failed.
// Called first in main(), before anything has run that a second start would repeat.
void preferHugePages(char *argv[]);

} // namespace kalveno
