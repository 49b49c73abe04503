#include "linkevents.h"

#include "trafficrecord.h"

using namespace Qt::StringLiterals;

namespace kalveno {

void LinkEvents::add(const QString &link, const QString &what)
{
    if (!m_record)
        return;
    if (link == m_link && what == m_last) {
        ++m_repeats;
        if (m_counting.elapsed() >= CountEveryMs)
            flush();
        return;
    }
    flush();
    m_link = link;
    m_last = what;
    m_record->linkEvent(link, what);
    m_counting.start();
}

void LinkEvents::flush()
{
    if (m_repeats == 0 || !m_record)
        return;
    m_record->linkEvent(m_link, u"%1 (%2 more times)"_s.arg(m_last).arg(m_repeats));
    m_repeats = 0;
    m_counting.start();
}

} // namespace kalveno
