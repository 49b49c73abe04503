#include "replacefile.h"

#include <QFile>
#include <QTemporaryFile>

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
    QTemporaryFile temporary(path + u".XXXXXX"_s);
    if (!temporary.open()) {
        *error = temporary.errorString();
        return false;
    }
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

    std::error_code failure;
    std::filesystem::rename(std::filesystem::path(temporary.fileName().toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), failure);
    if (failure) {
        *error = QString::fromStdString(failure.message());
        return false;
    }
    temporary.setAutoRemove(false);
    return true;
}

} // namespace kalveno
