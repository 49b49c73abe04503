#include "sessionfiles.h"

#include <QRegularExpression>

#include <system_error>

#ifdef Q_OS_WIN
#include <QFileInfo>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kalveno {

namespace sessionfiles {

QString sessionName(const QDateTime &start)
{
    return start.toUTC().toString(u"yyyy-MM-dd'T'HH-mm-ss'Z'"_s);
}

QString fileName(const QString &session, int part)
{
    if (part == 1)
        return session + u".log"_s;
    return session + u"_%1.log"_s.arg(part, 6, 10, QChar(u'0'));
}

std::optional<Order> orderOf(QStringView fileName)
{
    static const QRegularExpression utc(
        u"\\A\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\dZ(_\\d{6,})?\\.log\\z"_s);
    static const QRegularExpression local(
        u"\\A\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d(_\\d{6,})?\\.log\\z"_s);
    if (utc.match(fileName).hasMatch())
        return Order{true, fileName.toString()};
    if (local.match(fileName).hasMatch())
        return Order{false, fileName.toString()};
    return std::nullopt;
}

#ifndef Q_OS_WIN

namespace {

QString systemError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

} // namespace

Created create(QFile &file, const QString &path, QString *why)
{
    // O_EXCL makes the file or fails, and never follows a link at the name, dangling or not.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST || errno == ELOOP)
            return Created::Taken;
        *why = systemError(errno);
        return Created::Failed;
    }
    // Held until the file is closed. A file system without locks still gets the log.
    static_cast<void>(::flock(fd, LOCK_EX | LOCK_NB));
    file.setFileName(path);
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *why = file.errorString();
        return Created::Failed;
    }
    return Created::Yes;
}

std::optional<qint64> removeUnheld(const QString &folder, const QString &name)
{
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return std::nullopt;
    const QByteArray local = QFile::encodeName(name);
    std::optional<qint64> freed;
    // Opened without following a link and without waiting (a FIFO under such a name).
    const int fd =
        ::openat(dir, local.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened = {};
    struct stat named = {};
    // A console that writes a file holds its lock; the name must still be the file locked here.
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_size > 0 &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dir, local.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
        ::unlinkat(dir, local.constData(), 0) == 0)
        freed = opened.st_size;
    if (fd >= 0)
        ::close(fd);
    ::close(dir);
    return freed;
}

#else

// Windows opens files without leave to delete them: a file that another console writes cannot
// be removed while it does, which stands in for the lock. Making links there takes privileges;
// one at the name is refused before the file is made.
Created create(QFile &file, const QString &path, QString *why)
{
    std::error_code error;
    if (std::filesystem::symlink_status(path.toStdU16String(), error).type() !=
        std::filesystem::file_type::not_found)
        return Created::Taken;
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::NewOnly |
                  QIODevice::Unbuffered))
        return Created::Yes;
    if (file.exists())
        return Created::Taken;
    *why = file.errorString();
    return Created::Failed;
}

std::optional<qint64> removeUnheld(const QString &folder, const QString &name)
{
    const QFileInfo info(folder + u'/' + name);
    const qint64 size = info.size();
    if (info.isSymLink() || !info.isFile() || size == 0 || !QFile::remove(info.filePath()))
        return std::nullopt;
    return size;
}

#endif

} // namespace sessionfiles

} // namespace kalveno
