#include "sessionlog.h"

#include "protocol/logline.h"
#include "sessionfiles.h"
#include "trafficrecord.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// Lines are gathered up to this much text and then written in one call; the record hears after
// each write that the entries in it are stored.
constexpr qsizetype WriteChunk = 1024 * 1024;
// Names tried for a new file before the log gives up until its next attempt: the next seconds
// for a session's first file, the next parts for the others.
constexpr int NameTries = 100;
// A batch of more entries than this gives its room back once written.
constexpr size_t KeptBatch = 4096;

} // namespace

// The log's own thread and everything on it. The window's thread hands entries over through a
// queue under a mutex; the writer takes the whole queue at once, writes it and sleeps until the
// next entry, or, while it cannot write, until its next attempt.
class SessionLog::Writer final
{
public:
    Writer(SessionLog &owner, const QString &folder, qint64 fileLimit, qint64 totalLimit)
        : m_owner(owner)
        , m_folder(folder)
        , m_fileLimit(qMin(fileLimit, totalLimit))
        , m_totalLimit(totalLimit)
        , m_started(QDateTime::currentDateTimeUtc())
    {
        m_out.reserve(WriteChunk + WriteChunk / 4);
    }
    ~Writer() { finish(); }
    Q_DISABLE_COPY_MOVE(Writer)

    void start()
    {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->setObjectName(u"session log"_s);
        m_thread->start();
    }

    void push(const TrafficEntry &entry)
    {
        const QMutexLocker lock(&m_mutex);
        m_queue.push_back(entry);
        if (m_queue.size() == 1)
            m_wake.wakeOne();
    }

    // Writes what was handed over, closes the file and ends the thread.
    void finish()
    {
        if (!m_thread)
            return;
        {
            const QMutexLocker lock(&m_mutex);
            m_finishing = true;
        }
        m_wake.wakeOne();
        m_thread->wait();
        m_thread.reset();
    }

    // What has been written, for the window's thread; the next progress may be posted again.
    qint64 takeStoredUpTo()
    {
        m_progressPosted = false;
        return m_storedUpTo;
    }

private:
    void run()
    {
        open();
        std::vector<TrafficEntry> batch;
        QMutexLocker lock(&m_mutex);
        for (;;) {
            while (m_queue.empty() && !m_finishing && !(m_failing && m_retryAt.hasExpired()))
                m_wake.wait(&m_mutex,
                            m_failing ? m_retryAt : QDeadlineTimer(QDeadlineTimer::Forever));
            batch.swap(m_queue);
            const bool finishing = m_finishing;
            lock.unlock();
            // On the way out one more attempt, so that the missing count reaches the file.
            if (m_failing && (finishing || m_retryAt.hasExpired()))
                resume();
            for (const TrafficEntry &entry : batch)
                write(entry);
            batch.clear();
            if (batch.capacity() > KeptBatch)
                batch.shrink_to_fit();
            flush();
            if (finishing) {
                m_file.close();
                return;
            }
            lock.relock();
        }
    }

    void write(const TrafficEntry &entry)
    {
        if (m_failing) {
            ++m_lost;
            return;
        }
        add(logline::format(lineOf(entry, localTime(entry.wallMs))), entry.sequence);
    }

    // Adds a line to what is to be written; an entry's sequence, or -1 for the log's own note.
    // A file that the line would take past its limit is closed first and the next one begun.
    void add(const QByteArray &line, qint64 sequence)
    {
        const qint64 pending = m_fileSize + m_out.size();
        if (pending > 0 && pending + line.size() + 1 > m_fileLimit) {
            if (!flush() || !rotate()) {
                m_lost += sequence >= 0 ? 1 : 0;
                return;
            }
        }
        m_out += line;
        m_out += '\n';
        if (sequence >= 0) {
            ++m_outEntries;
            m_outUpTo = sequence + 1;
        }
        if (m_out.size() >= WriteChunk)
            flush();
    }

    bool flush()
    {
        if (m_failing)
            return false;
        if (m_out.isEmpty())
            return true;
        // A write cut short by a full disk is taken up again, which then tells why it failed.
        qint64 written = 0;
        while (written < m_out.size()) {
            const qint64 n = m_file.write(m_out.constData() + written, m_out.size() - written);
            if (n <= 0)
                break;
            written += n;
        }
        if (written < m_out.size()) {
            const QString why = m_file.errorString();
            // A line cut short would not parse: the file keeps whole lines only.
            m_file.resize(m_fileSize);
            m_lost += m_outEntries;
            m_out.clear();
            m_outEntries = 0;
            fail(m_path, why);
            return false;
        }
        m_fileSize += m_out.size();
        m_out.clear();
        m_outEntries = 0;
        if (m_outUpTo > m_storedUpTo) {
            m_storedUpTo = m_outUpTo;
            if (!m_progressPosted.exchange(true))
                QMetaObject::invokeMethod(
                    &m_owner, [owner = &m_owner] { owner->takeProgress(); }, Qt::QueuedConnection);
        }
        return true;
    }

    // Begins the next file: the session's first, or the part after the last. A name that is
    // taken (by anything: a file, a link, a folder) passes to the next one.
    bool open()
    {
        std::error_code error;
        std::filesystem::create_directories(m_folder.toStdU16String(), error);
        if (error) {
            fail(m_folder, QString::fromLocal8Bit(error.message()));
            return false;
        }
        const bool first = m_session.isEmpty();
        for (int tries = 0; tries < NameTries; ++tries) {
            if (first)
                m_session = sessionfiles::sessionName(m_started.addSecs(tries));
            const QString path = m_folder + u'/' + sessionfiles::fileName(m_session, m_part);
            QString why;
            switch (sessionfiles::create(m_file, path, &why)) {
            case sessionfiles::Created::Yes:
                m_path = path;
                m_fileSize = 0;
                keepUnderTotal();
                return true;
            case sessionfiles::Created::Taken:
                if (!first)
                    ++m_part;
                break;
            case sessionfiles::Created::Failed:
                if (first)
                    m_session.clear();
                fail(path, why);
                return false;
            }
        }
        const QString last = sessionfiles::fileName(m_session, m_part);
        if (first)
            m_session.clear();
        fail(m_folder, u"%1 names up to %2 are taken"_s.arg(NameTries).arg(last));
        return false;
    }

    bool rotate()
    {
        m_file.close();
        ++m_part;
        return open();
    }

    // Removes the oldest session files of the folder until they and a full current file fit in
    // the total. Only files named as sessions are counted or removed, never a link, never a file
    // that a running console holds.
    void keepUnderTotal()
    {
        struct Candidate
        {
            sessionfiles::Order order;
            qint64 size;
        };
        std::vector<Candidate> files;
        const QString current = QFileInfo(m_path).fileName();
        qint64 total = m_fileLimit;
        const QFileInfoList entries = QDir(m_folder).entryInfoList(QDir::Files);
        for (const QFileInfo &entry : entries) {
            const std::optional<sessionfiles::Order> order =
                sessionfiles::orderOf(entry.fileName());
            if (!order || entry.isSymLink() || entry.fileName() == current)
                continue;
            total += entry.size();
            files.push_back({*order, entry.size()});
        }
        std::sort(files.begin(), files.end(),
                  [](const Candidate &a, const Candidate &b) { return a.order < b.order; });
        for (const Candidate &file : files) {
            if (total <= m_totalLimit)
                break;
            if (const std::optional<qint64> freed =
                    sessionfiles::removeUnheld(m_folder, file.order.name))
                total -= *freed;
        }
    }

    // The file stays open (and locked) when a write fails: the log goes on in it once it can.
    void fail(const QString &where, const QString &why)
    {
        m_failing = true;
        m_retryAt = QDeadlineTimer(RetryMs);
        m_why = why;
        const QString message =
            u"session log: cannot write %1: %2; the traffic is not logged until it can be, "
            u"tried every %3 s"_s.arg(where, why, QString::number(RetryMs / 1000));
        if (message == m_reported)
            return;
        m_reported = message;
        QMetaObject::invokeMethod(
            &m_owner, [owner = &m_owner, message] { owner->onFailed(message); },
            Qt::QueuedConnection);
    }

    void resume()
    {
        if (!m_file.isOpen() && !open())
            return;
        m_failing = false;
        if (m_lost > 0) {
            add(logline::format({localTime(QDateTime::currentMSecsSinceEpoch()),
                                 LinkName.toString(),
                                 Direction::Event,
                                 {},
                                 u"%1 entries could not be written: %2"_s.arg(m_lost).arg(m_why)}),
                -1);
            if (!flush())
                return;
        }
        const QString message = u"session log: writing again to %1; %2 entries could not be "
                                u"written"_s.arg(m_path)
                                    .arg(std::exchange(m_lost, 0));
        m_reported.clear();
        QMetaObject::invokeMethod(
            &m_owner, [owner = &m_owner, message] { owner->onResumed(message); },
            Qt::QueuedConnection);
    }

    // Qt works a local time's offset out anew for each conversion, which would cost more than
    // the line itself; offsets change only at quarter hours.
    QDateTime localTime(qint64 wallMs)
    {
        constexpr qint64 QuarterHourMs = 15 * 60 * 1000;
        const qint64 quarter = wallMs / QuarterHourMs;
        if (quarter != m_quarter) {
            m_offset = QDateTime::fromMSecsSinceEpoch(wallMs).offsetFromUtc();
            m_quarter = quarter;
        }
        return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::OffsetFromUTC, m_offset);
    }

    SessionLog &m_owner;
    const QString m_folder;
    const qint64 m_fileLimit;
    const qint64 m_totalLimit;
    const QDateTime m_started;
    std::unique_ptr<QThread> m_thread;

    // Shared between the threads.
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::vector<TrafficEntry> m_queue;
    bool m_finishing = false;
    std::atomic<qint64> m_storedUpTo = 0;
    std::atomic<bool> m_progressPosted = false;

    // The log's thread's own.
    QString m_session;
    int m_part = 1;
    QFile m_file;
    QString m_path; // of the file being written, or last written
    qint64 m_fileSize = 0;
    QByteArray m_out;
    qint64 m_outEntries = 0;
    qint64 m_outUpTo = 0;
    bool m_failing = false;
    QDeadlineTimer m_retryAt;
    QString m_why;
    QString m_reported;
    qint64 m_lost = 0;
    qint64 m_quarter = std::numeric_limits<qint64>::min();
    int m_offset = 0;
};

SessionLog::SessionLog(TrafficRecord &record, const QString &folder, qint64 fileLimit,
                       qint64 totalLimit, QObject *parent)
    : QObject(parent)
    , m_record(record)
    , m_writer(std::make_unique<Writer>(*this, folder, fileLimit, totalLimit))
{
    for (qint64 sequence = record.first(); sequence < record.end(); ++sequence)
        m_writer->push(record.at(sequence));
    record.setKept(true);
    connect(&record, &TrafficRecord::appended, this, &SessionLog::append);
    m_writer->start();
}

SessionLog::~SessionLog()
{
    close();
}

void SessionLog::close()
{
    if (m_closed)
        return;
    m_closed = true;
    disconnect(&m_record, nullptr, this, nullptr);
    m_writer->finish();
    m_record.setKept(false);
}

void SessionLog::append(const TrafficEntry &entry)
{
    m_writer->push(entry);
}

void SessionLog::takeProgress()
{
    const qint64 storedUpTo = m_writer->takeStoredUpTo();
    if (!m_closed)
        m_record.keptUpTo(storedUpTo);
}

void SessionLog::onFailed(const QString &message)
{
    if (m_closed)
        return;
    m_record.setKept(false);
    Q_EMIT failed(message);
}

void SessionLog::onResumed(const QString &message)
{
    if (m_closed)
        return;
    m_record.setKept(true);
    Q_EMIT resumed(message);
}

} // namespace kalveno
