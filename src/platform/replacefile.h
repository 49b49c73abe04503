#pragma once

#include <QByteArray>
#include <QString>

namespace kalveno {

// Replaces the file at path with content so that the path always holds either the old file or
// the whole new one: the bytes go to a temporary file beside it, which is synced, read back and
// compared before it is renamed over the old file. Reading back catches a full disk that a
// write reports as done. On failure the old file is untouched and error says why.
bool replaceFile(const QString &path, const QByteArray &content, QString *error);

} // namespace kalveno
