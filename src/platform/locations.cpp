#include "locations.h"

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

} // namespace locations

} // namespace kalveno
