#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringView>

#include <optional>

namespace kalveno {

// The files of the sessions folder that are session logs, and how one is made and removed.
//
// A session is named by the UTC time it began, 2026-12-07T13-03-09Z.log, then
// 2026-12-07T13-03-09Z_000002.log and on: in byte order the names of one console come in the
// order they were written, whatever the time zone or the daylight saving. Earlier versions named
// sessions by local time, 2026-12-07_14-03-09.log and 2026-12-07_14-03-09_000002.log; those are
// still session files, older than any named in UTC. Nothing else in the folder is.
//
// A file is made new and only if nothing is at its name, never through a link, and a console
// holds an advisory lock on the file it writes, so that another console's cap spares it.
namespace sessionfiles {

QString sessionName(const QDateTime &start);
QString fileName(const QString &session, int part);

// Where a session file stands among the others: earlier versions' names first, then by name.
struct Order
{
    bool utc = false;
    QString name;

    bool operator<(const Order &other) const { return utc != other.utc ? !utc : name < other.name; }
};
std::optional<Order> orderOf(QStringView fileName);

enum class Created { Yes, Taken, Failed };
// Makes the file at path, which must not exist, and opens it for appending, locked; Taken when
// something (a file, a link, a folder) is at the name, Failed with why otherwise. The file
// opened may not know its name.
Created create(QFile &file, const QString &path, QString *why);

// Removes the session file `name` of the folder unless it is a link, not a regular file, empty
// (a file another console has just made and not yet locked), or held by a running console.
// Returns the bytes freed, or nothing when the file stays.
std::optional<qint64> removeUnheld(const QString &folder, const QString &name);

} // namespace sessionfiles

} // namespace kalveno
