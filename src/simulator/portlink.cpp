#include "portlink.h"

#include "log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

QString readLink(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    char target[4096];
    const ssize_t n = ::readlink(local.constData(), target, sizeof target);
    return n > 0 ? QFile::decodeName(QByteArray(target, n)) : QString();
}

} // namespace

PortLink::PortLink(Log *log)
    : m_log(log)
{}

PortLink::~PortLink()
{
    if (isMade() && readLink(m_path) == m_target)
        QFile::remove(m_path);
}

bool PortLink::make(const QString &path, const QString &target, QString *error)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        m_log->state(Link::Serial, u"replacing the link %1 to %2"_s.arg(path, readLink(path)));
        QFile::remove(path);
    } else if (info.exists()) {
        *error = u"%1 exists and is not a symbolic link; not replaced"_s.arg(path);
        return false;
    }
    QDir().mkpath(info.absolutePath());
    if (!QFile::link(target, path)) {
        *error = u"cannot make the link %1"_s.arg(path);
        return false;
    }
    m_path = path;
    m_target = target;
    return true;
}

} // namespace kalveno::sim
