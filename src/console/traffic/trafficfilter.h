#pragma once

#include "trafficsource.h"

#include <QByteArray>
#include <QString>

namespace kalveno {

// What a traffic view shows: one link or all, which directions and events, and a search.
struct TrafficFilter
{
    QString link; // empty: every link
    bool sent = true;
    bool received = true;
    bool events = true;
    // Found in the bytes written as hex pairs, in their characters or in the meaning, ignoring
    // case; empty: every row.
    QString text;

    bool operator==(const TrafficFilter &) const = default;
};

// A filter applied to rows, its search text read once: as the bytes its hex pairs spell (blanks
// between them ignored), and as Latin-1 characters. A row passes when its link and kind pass and
// the search finds it; a broken line cannot say its link or direction, so no filter of those
// hides it.
class TrafficMatcher
{
public:
    explicit TrafficMatcher(const TrafficFilter &filter = {});

    const TrafficFilter &filter() const { return m_filter; }
    // Whether a row of this link and kind passes the link and direction filters.
    bool admits(const TrafficBrief &brief) const;
    // Whether the row needs to be read whole to know whether it passes.
    bool searches() const { return !m_filter.text.isEmpty(); }
    // Whether the search text is in the row's bytes (as hex pairs or as characters) or meaning.
    bool finds(const TrafficRow &row) const;

private:
    TrafficFilter m_filter;
    QByteArray m_hexPattern;  // the search text as bytes, when it reads as hex pairs
    QByteArray m_charPattern; // the search text as lower-case bytes, when it is Latin-1
};

} // namespace kalveno
