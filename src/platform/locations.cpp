#include "locations.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace locations {

QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/kalveno"_s;
}

QString configFile()
{
#ifdef Q_OS_WIN
    return u"C:/KALVENO.CFG"_s;
#else
    return folder() + u"/KALVENO.CFG"_s;
#endif
}

QString settingsFile()
{
    return folder() + u"/kalveno.ini"_s;
}

QString sessionsFolder()
{
#ifdef Q_OS_WIN
    const QString state = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    // Qt 6.4 knows no state location. A relative $XDG_STATE_HOME is to be ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + u"/.local/state"_s;
#endif
    return state + u"/kalveno/sessions"_s;
}

} // namespace locations

} // namespace kalveno
