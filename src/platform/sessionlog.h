#pragma once

#include "protocol/traffic.h"

#include <QObject>
#include <QString>
#include <QStringView>

#include <memory>

namespace kalveno {

class TrafficRecord;
struct TrafficEntry;

// The session log: every entry of the traffic record, from the start of the run to its end,
// appended to disk as one session log line, whether anybody looks at it or not. Files are named
// by the session's start in UTC, then numbered on as each reaches the file limit (sessionfiles);
// each is made new, never through a link, and held locked while it is written. Each time a file
// begins, the oldest session files of the folder go to keep it under the total limit: never
// another file, never one that a running console holds.
//
// Formatting and writing run on a thread of their own: a flood brings a thousand 64 KiB chunks
// a second, each about half a millisecond to decode and format, which would stall the window.
// What has been handed over is written as soon as the thread is free, so nothing waits in a
// buffer and nothing wakes up while the links are quiet.
//
// The log keeps the record: an entry leaves memory only once it is written, so that nothing is
// lost while the log falls behind (the record then holds back the links' reading). When the log
// cannot write (a full disk, an unwritable folder) it says so, stops keeping the record, whose
// memory stays bounded, counts what it could not write and tries again every RetryMs; once it
// can, its first line says how many entries are missing.
class SessionLog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionLog)

public:
    static constexpr int RetryMs = 2000;
    // The link name of the log's own lines.
    static constexpr QStringView LinkName = linkname::ConsoleLog;

    SessionLog(TrafficRecord &record, const QString &folder, qint64 fileLimit, qint64 totalLimit,
               QObject *parent = nullptr);
    ~SessionLog() override;

    // Writes everything the record has handed over, closes the file and lets the record go. The
    // window's shut-down calls it; the entries that come after are not logged.
    void close();

Q_SIGNALS:
    // The log cannot write: what and where, for the technician.
    void failed(const QString &message);
    // It writes again, and says how many entries it could not write.
    void resumed(const QString &message);

private:
    class Writer;

    void append(const TrafficEntry &entry);
    void takeProgress();
    void onFailed(const QString &message);
    void onResumed(const QString &message);

    TrafficRecord &m_record;
    std::unique_ptr<Writer> m_writer;
    bool m_closed = false;
};

} // namespace kalveno
