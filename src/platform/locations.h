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

} // namespace locations

} // namespace kalveno
