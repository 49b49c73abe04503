#include "sandbox.h"

#include <QDir>
#include <QNetworkInterface>
#include <QProcess>

namespace kalveno::test {

bool insidePrivateNetwork()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    return std::all_of(interfaces.begin(), interfaces.end(), [](const QNetworkInterface &i) {
        return bool(i.flags() & QNetworkInterface::IsLoopBack);
    });
}

TemporaryConfig::TemporaryConfig()
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", (m_dir.path() + QStringLiteral("/state")).toLocal8Bit());
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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TemporaryConfig::linkPort(int number, const QString &device) const
{
    const QString link = folder() + QStringLiteral("/com%1").arg(number);
    QFile::remove(link);
    return QFile::link(device, link);
}

bool TemporaryConfig::write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace kalveno::test
