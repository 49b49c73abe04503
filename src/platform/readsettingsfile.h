#pragma once

#include <QByteArray>
#include <QString>

namespace kalveno {

// What reading a small settings file found: its content, or why it could not be read.
struct SettingsFileRead
{
    enum Status {
        Missing,   // nothing at the path: the first run, empty settings, the file made at close
        Read,      // content holds the whole file
        Unreadable // something is there but was not read; why says what, without the path
    };
    Status status = Missing;
    QByteArray content;
    QString why;
};

// Reads the file at path, following symbolic links, without ever waiting on it. Unreadable:
// anything but a regular file at the end of the links (a FIFO, a device, a folder), a dangling
// link or a loop of links, a file the user may not read, and a file larger than limit bytes,
// whose settings would come out cut. A caller that writes the file back must leave an
// Unreadable one as it is: what it holds was never seen, and would be lost.
SettingsFileRead readSettingsFile(const QString &path, qint64 limit);

} // namespace kalveno
