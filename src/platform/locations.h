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

// The session logs: state rather than configuration, so elsewhere than Windows they live in
// $XDG_STATE_HOME/kalveno/sessions (by default ~/.local/state); on Windows in
// %LOCALAPPDATA%\kalveno\sessions.
QString sessionsFolder();

} // namespace locations

} // namespace kalveno
