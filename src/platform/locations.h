#pragma once

#include <QString>

namespace kalveno {

// Where the console keeps its files. On Windows the configuration file is C:\KALVENO.CFG as it
// always was; elsewhere it and the other files live in the folder "kalveno" of the user's
// configuration directory ($XDG_CONFIG_HOME, by default ~/.config).
namespace locations {

QString folder();
QString configFile();
QString settingsFile();

// The device behind serial port number n (1 = the first port): COMn on Windows; elsewhere the
// target of the symbolic link "com<n>" in the folder when there is one, else /dev/ttyS<n-1>.
QString serialDevice(int portNumber);

} // namespace locations

} // namespace kalveno
