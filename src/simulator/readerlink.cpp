#include "readerlink.h"

#include "streamlinks.h"

#include "protocol/rfid.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

ReaderLink::ReaderLink(const ReaderMaster::Timing &timing, StreamLinks *links, Log *log,
                       QObject *parent)
    : QObject(parent)
    , m_master(timing)
    , m_links(links)
    , m_log(log)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { run(m_master.timerExpired()); });
}

void ReaderLink::setPolling(bool on)
{
    if (on == hasLine())
        return;
    if (on) {
        m_log->state(Link::Serial, u"polling the RFID reader; the line is the reader's"_s);
        Q_EMIT lineTaken(true);
        run(m_master.start());
    } else {
        m_master.stop();
        m_timer.stop();
        m_log->state(Link::Serial, u"polling stopped; the line is a pass-through"_s);
        Q_EMIT lineTaken(false);
    }
}

void ReaderLink::feed(Link link, const QByteArray &bytes)
{
    if (link == Link::Serial && hasLine())
        run(m_master.received(bytes));
}

void ReaderLink::run(const ReaderMaster::Step &step)
{
    QString request;
    for (const ReaderMaster::Note &note : step.notes) {
        if (note.kind == ReaderMaster::Note::Sent)
            request = note.meaning;
        else if (note.bytes.isEmpty())
            m_log->state(Link::Serial, u"reader: "_s + note.meaning);
        else
            m_log->bytes(Link::Serial, Direction::Received, note.bytes,
                         u"reader: "_s + note.meaning);
    }
    if (!step.request.isEmpty())
        m_links->send(Link::Serial, step.request, u"reader: "_s + request);
    if (step.timerMs == ReaderMaster::StopTimer)
        m_timer.stop();
    else if (step.timerMs >= 0)
        m_timer.start(step.timerMs);
    if (step.card) {
        // One line per card read, which the console shows and, with its auto answer on,
        // answers with a passage.
        const QByteArray report = "CARD," + QByteArray::number(step.card->antenna) + ',' +
                                  rfid::cardText(step.card->id).toLatin1() + "\r\n";
        m_links->send(Link::Tcp1, report, u"card report"_s);
    }
}

} // namespace kalveno::sim
