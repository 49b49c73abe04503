#pragma once

#include <QtGlobal>

namespace kalveno::cli {

// A peer or a pipe that goes away while the program writes to it makes that write fail, rather
// than end the program.
void ignoreBrokenPipes();

// Lets the process open as many descriptors as the system allows it, which a program that holds
// a socket or two for each of thousands of bridges needs. Returns how many that is; 0 when there
// is no limit or it cannot be told.
quint64 raiseDescriptorLimit();

} // namespace kalveno::cli
