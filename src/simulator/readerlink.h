#pragma once

#include "log.h"
#include "readermaster.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace kalveno::sim {

class StreamLinks;

// The turnstile's RFID polling on the serial line: runs the reader master's steps, with its one
// timer, writes its requests on the line, hands it what the line brings while polling, and
// reports each card that appears to the client of the first TCP port.
class ReaderLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReaderLink)

public:
    ReaderLink(const ReaderMaster::Timing &timing, StreamLinks *links, Log *log,
               QObject *parent = nullptr);

    // The turnstile starts or stops polling its reader; the line is the reader's meanwhile.
    void setPolling(bool on);
    bool hasLine() const { return m_master.phase() != ReaderMaster::Phase::Idle; }
    ReaderMaster::Phase phase() const { return m_master.phase(); }
    void feed(kalveno::sim::Link link, const QByteArray &bytes);

Q_SIGNALS:
    void lineTaken(bool taken);

private:
    void run(const ReaderMaster::Step &step);

    ReaderMaster m_master;
    QTimer m_timer;
    StreamLinks *m_links;
    Log *m_log;
};

} // namespace kalveno::sim
