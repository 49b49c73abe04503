#include "trafficfilter.h"

#include <algorithm>

namespace kalveno {

namespace {

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

QByteArray hexPattern(const QString &text)
{
    QString digits = text;
    digits.remove(u' ');
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return {};
    for (const QChar c : digits) {
        const char16_t u = c.toLower().unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f')))
            return {};
    }
    return QByteArray::fromHex(digits.toLatin1());
}

QByteArray charPattern(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return {};
    }
    return text.toLatin1().toLower();
}

} // namespace

TrafficMatcher::TrafficMatcher(const TrafficFilter &filter)
    : m_filter(filter)
    , m_hexPattern(hexPattern(filter.text))
    , m_charPattern(charPattern(filter.text))
{}

bool TrafficMatcher::admits(const TrafficBrief &brief) const
{
    if (brief.kind == TrafficKind::Broken)
        return true;
    if (!m_filter.link.isEmpty() && brief.link != m_filter.link)
        return false;
    return !((brief.kind == TrafficKind::Sent && !m_filter.sent) ||
             (brief.kind == TrafficKind::Received && !m_filter.received) ||
             (brief.kind == TrafficKind::Event && !m_filter.events));
}

bool TrafficMatcher::finds(const TrafficRow &row) const
{
    if (!m_hexPattern.isEmpty() && row.bytes.contains(m_hexPattern))
        return true;
    if (!m_charPattern.isEmpty() &&
        std::search(row.bytes.begin(), row.bytes.end(), m_charPattern.begin(), m_charPattern.end(),
                    [](char a, char b) { return asciiLower(a) == b; }) != row.bytes.end())
        return true;
    return row.meaning.contains(m_filter.text, Qt::CaseInsensitive);
}

} // namespace kalveno
