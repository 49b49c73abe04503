#include "locations.h"

#include <QDir>
#include <QFileInfo>
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

QString serialDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return u"COM%1"_s.arg(portNumber);
#else
    const QFileInfo link(folder() + u"/com%1"_s.arg(portNumber));
    if (link.isSymLink())
        return link.symLinkTarget();
    return u"/dev/ttyS%1"_s.arg(portNumber - 1);
#endif
}

} // namespace locations

} // namespace kalveno
