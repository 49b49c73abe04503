#pragma once

#include <QByteArray>
#include <QString>

namespace kalveno {

// Replaces the file at path with content so that it always holds either the old file or the
// whole new one: the bytes go to a temporary file beside it, which is synced, read back and
// compared before it is renamed over the old file. Reading back catches a full disk that a
// write reports as done. A symbolic link is followed and the file it leads to is replaced, so a
// link to a shared file stays a link and the shared file is updated. The new file keeps the old
// one's permission bits; a file that did not exist gets those of any new file (the umask's).
// Refused, with the file left as it is: a file its owner may not write (read-only, even to
// root), anything but a regular file, a loop of links. On failure the old file is untouched and
// error says why.
bool replaceFile(const QString &path, const QByteArray &content, QString *error);

} // namespace kalveno
