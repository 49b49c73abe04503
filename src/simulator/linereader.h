#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

namespace kalveno::sim {

// Reads the control channel: text lines from a file descriptor (standard input), CR LF or LF
// ended, without ever blocking the event loop. A line longer than MaxLine is thrown away whole
// rather than cut, so that no part of it is taken for a command. The end of the input stops the
// reading and nothing else.
class LineReader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LineReader)

public:
    static constexpr qsizetype MaxLine = 1024;

    explicit LineReader(int fd, QObject *parent = nullptr);

Q_SIGNALS:
    void line(const QString &line);
    void overlong();
    void ended();

private:
    void onReadable();

    int m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_partial;
    bool m_discarding = false;
};

} // namespace kalveno::sim
