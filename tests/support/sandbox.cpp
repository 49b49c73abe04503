#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace kalveno::test {

bool insidePrivateNetwork()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : interfaces) {
        if (!(i.flags() & QNetworkInterface::IsLoopBack))
            return false;
    }
    return true;
}

TemporaryConfig::TemporaryConfig()
    : m_previous(qgetenv("XDG_CONFIG_HOME"))
    , m_previousState(qgetenv("XDG_STATE_HOME"))
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", (m_dir.path() + u"/state"_s).toLocal8Bit());
    QDir().mkpath(folder());
}

TemporaryConfig::~TemporaryConfig()
{
    if (m_previous.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_previous);
    if (m_previousState.isEmpty())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", m_previousState);
}

QString TemporaryConfig::folder() const
{
    return m_dir.path() + u"/kalveno"_s;
}

QString TemporaryConfig::configFile() const
{
    return folder() + u"/KALVENO.CFG"_s;
}

bool TemporaryConfig::writeConfig(const QByteArray &content) const
{
    QFile file(configFile());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray TemporaryConfig::readConfig() const
{
    QFile file(configFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TemporaryConfig::linkPort(int number, const QString &device) const
{
    const QString link = folder() + u"/com%1"_s.arg(number);
    QFile::remove(link);
    return QFile::link(device, link);
}

bool TemporaryConfig::writeSettings(const QByteArray &ini) const
{
    QFile file(folder() + u"/kalveno.ini"_s);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(ini) == ini.size();
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace kalveno::test
