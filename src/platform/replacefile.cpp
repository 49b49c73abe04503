#include "replacefile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

namespace fs = std::filesystem;

QString systemMessage(const std::error_code &failure)
{
    return QString::fromLocal8Bit(failure.message());
}

QString toQString(const fs::path &path)
{
    return QString::fromStdU16String(path.u16string());
}

// Follows the symbolic links at file to what they lead to, which need not exist: a dangling
// link gets its target made.
bool followLinks(fs::path &file, QString *error)
{
    // As many links as Linux follows in one path before it gives up.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code failure;
        if (!fs::is_symlink(fs::symlink_status(file, failure)))
            return true;
        const fs::path target = fs::read_symlink(file, failure);
        if (failure) {
            *error = u"%1: %2"_s.arg(toQString(file), systemMessage(failure));
            return false;
        }
        // A relative target is taken from the link's folder; an absolute one replaces the path.
        file = file.parent_path() / target;
    }
    *error = u"%1: too many symbolic links, or a loop of them"_s.arg(toQString(file));
    return false;
}

// Opens a new file beside target under a name of its own. Unlike QTemporaryFile, which makes
// every file 0600, it takes the permissions asked for, narrowed by the umask.
bool createBeside(const QString &target, QFileDevice::Permissions permissions, QFile &temporary,
                  QString *error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary.setFileName(
            u"%1.%2"_s.arg(target).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0')));
        if (temporary.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions))
            return true;
        if (!temporary.exists())
            break;
    }
    *error = temporary.errorString();
    return false;
}

bool syncToDisk(QFile &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

bool replaceFile(const QString &path, const QByteArray &content, QString *error)
{
    fs::path resolved(path.toStdU16String());
    if (!followLinks(resolved, error))
        return false;
    const QString target = toQString(resolved);

    std::error_code failure;
    const fs::file_status old = fs::status(resolved, failure);
    const bool exists = old.type() != fs::file_type::not_found;
    if (exists && failure) {
        *error = u"%1: %2"_s.arg(target, systemMessage(failure));
        return false;
    }
    if (exists && old.type() != fs::file_type::regular) {
        *error = u"%1 is not a regular file"_s.arg(target);
        return false;
    }
    // The owner's write bit decides, not whether this process may write: root may write any
    // file, and would otherwise replace one that its owner made read-only to keep it as it is.
    if (exists && (old.permissions() & fs::perms::owner_write) == fs::perms::none) {
        *error = u"%1 is read-only"_s.arg(target);
        return false;
    }

    // A file that did not exist gets the permissions of any new file. A replacement is private
    // until it is whole, and then takes the old file's permissions.
    constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    constexpr auto everyone = ownerOnly | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                              QFileDevice::ReadOther | QFileDevice::WriteOther;
    QFile temporary;
    if (!createBeside(target, exists ? ownerOnly : everyone, temporary, error))
        return false;
    auto removeTemporary = qScopeGuard([&temporary] { temporary.remove(); });
    if (temporary.write(content) != content.size() || !syncToDisk(temporary)) {
        *error = temporary.errorString();
        return false;
    }
    temporary.close();

    QFile check(temporary.fileName());
    if (!check.open(QIODevice::ReadOnly) || check.readAll() != content) {
        *error = u"the new file did not hold what was written (disk full?)"_s;
        return false;
    }
    check.close();

    const fs::path temporaryPath(temporary.fileName().toStdU16String());
    if (exists) {
        fs::permissions(temporaryPath, old.permissions() & fs::perms::all, failure);
        if (failure) {
            *error = systemMessage(failure);
            return false;
        }
    }
    fs::rename(temporaryPath, resolved, failure);
    if (failure) {
        *error = systemMessage(failure);
        return false;
    }
    removeTemporary.dismiss();
    return true;
}

} // namespace kalveno
