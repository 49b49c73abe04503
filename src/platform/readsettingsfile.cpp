#include "readsettingsfile.h"

#include <QFile>
#include <QScopeGuard>

#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

namespace fs = std::filesystem;

SettingsFileRead unreadable(const QString &why)
{
    return {SettingsFileRead::Unreadable, {}, why};
}

QString kindOf(fs::file_type type)
{
    switch (type) {
    case fs::file_type::directory:
        return u"a folder"_s;
    case fs::file_type::fifo:
        return u"a named pipe"_s;
    case fs::file_type::character:
        return u"a character device"_s;
    case fs::file_type::block:
        return u"a block device"_s;
    case fs::file_type::socket:
        return u"a socket"_s;
    default:
        return u"some other kind of file"_s;
    }
}

} // namespace

SettingsFileRead readSettingsFile(const QString &path, qint64 limit)
{
    // The kind of file is decided before it is opened: opening a FIFO waits for a writer, and
    // opening a serial device may raise its modem lines.
    const fs::path name(path.toStdU16String());
    std::error_code failure;
    const fs::file_status status = fs::status(name, failure);
    if (status.type() == fs::file_type::not_found) {
        std::error_code ignored;
        if (!fs::is_symlink(fs::symlink_status(name, ignored)))
            return {};
        const fs::path target = fs::read_symlink(name, ignored);
        return unreadable(u"it is a symbolic link to %1, where there is no file"_s.arg(
            QString::fromStdU16String(target.u16string())));
    }
    if (failure)
        return unreadable(QString::fromLocal8Bit(failure.message()));
    if (status.type() != fs::file_type::regular)
        return unreadable(u"it is %1, not a regular file"_s.arg(kindOf(status.type())));

#ifdef Q_OS_WIN
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
#else
    // Should the file have become a FIFO since it was looked at, O_NONBLOCK makes the open return
    // at once instead of waiting, and fstat turns it away.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unreadable(QString::fromLocal8Bit(std::generic_category().message(errno)));
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat opened = {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))
        return unreadable(u"it stopped being a regular file as it was opened"_s);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly))
        return unreadable(file.errorString());
#endif
    // One byte more than the limit tells a file that fits from one that would be cut.
    QByteArray content = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString());
    if (content.size() > limit)
        return unreadable(
            u"it holds more than %1 bytes, more than a settings file may"_s.arg(limit));
    return {SettingsFileRead::Read, std::move(content), {}};
}

} // namespace kalveno
