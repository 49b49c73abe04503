#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kalveno::check {

// The session log of one bridge's check, in the console's line format (protocol/logline.h):
// every chunk sent and received on its ports with what it means, the connections' events, and
// the check's own lines (link linkname::Check). Nothing is written when it is not open.
class CheckLog final
{
public:
    CheckLog() = default;
    CheckLog(const CheckLog &) = delete;
    CheckLog &operator=(const CheckLog &) = delete;

    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_file.isOpen(); }
    void close() { m_file.close(); }

    // `note` says what the bytes are; without one, the console's decoder says it.
    void sent(const QString &link, const QByteArray &bytes, const QString &note = {});
    void received(const QString &link, const QByteArray &bytes);
    void event(const QString &link, const QString &what);

private:
    QFile m_file;
};

} // namespace kalveno::check
