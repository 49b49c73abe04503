#pragma once

#include <QElapsedTimer>
#include <QString>

namespace kalveno {

class TrafficRecord;

// Writes one link's events into the traffic record. An event that only repeats the one before
// it (a port retried every second while it is unplugged, a bridge tried every two seconds while
// it refuses) is not written again but counted, and the count is written as an event of its
// own when another event comes, when the run ends, and once an hour while the repeats go on:
// a day of retries leaves a few lines rather than tens of thousands.
class LinkEvents final
{
public:
    static constexpr qint64 CountEveryMs = 60 * 60 * 1000;

    void setRecord(TrafficRecord *record) { m_record = record; }
    void add(const QString &link, const QString &what);
    // Writes the count of repeats not yet written.
    void flush();

private:
    TrafficRecord *m_record = nullptr;
    QString m_link;
    QString m_last;
    qint64 m_repeats = 0;
    QElapsedTimer m_counting;
};

} // namespace kalveno
