#include "frameextractor.h"

#include "protocol/bridgeio.h"

using kalveno::bridgeio::FrameEnd;
using kalveno::bridgeio::FrameHead;

namespace kalveno::sim {

namespace {

// The length of the longest end of `bytes` that is the beginning of a frame head.
qsizetype partialHeadAtEnd(QByteArrayView bytes)
{
    for (qsizetype n = qMin(bytes.size(), FrameHead.size() - 1); n > 0; --n) {
        if (bytes.last(n) == FrameHead.first(n))
            return n;
    }
    return 0;
}

} // namespace

void FrameExtractor::append(QByteArrayView bytes)
{
    m_stream.append(bytes);
}

FrameExtractor::Item FrameExtractor::next()
{
    const QByteArrayView rest = m_stream.rest();
    if (rest.isEmpty())
        return {};
    const qsizetype head = rest.indexOf(FrameHead);
    if (head < 0) {
        const qsizetype data = rest.size() - partialHeadAtEnd(rest);
        return data > 0 ? take(Status::Data, data) : Item{};
    }
    if (head > 0)
        return take(Status::Data, head);

    const QByteArrayView body = rest.sliced(FrameHead.size());
    const qsizetype end = body.indexOf(FrameEnd);
    const qsizetype nextHead = body.indexOf(FrameHead);
    // A new head before any end byte means the earlier frame lost its end on the way.
    if (nextHead >= 0 && (end < 0 || nextHead < end))
        return take(Status::Broken, FrameHead.size() + nextHead);
    if (end >= 0 && end <= MaxPayload) {
        Item item = take(Status::Frame, FrameHead.size() + end + 1);
        item.bytes = item.bytes.sliced(FrameHead.size(), end);
        return item;
    }
    if (end > MaxPayload || body.size() > MaxPayload)
        return take(Status::Broken, FrameHead.size() + MaxPayload);
    return {};
}

FrameExtractor::Item FrameExtractor::flush()
{
    const qsizetype count = held();
    if (count == 0)
        return {};
    const bool started = m_stream.rest().startsWith(FrameHead);
    return take(started ? Status::Broken : Status::Data, count);
}

FrameExtractor::Item FrameExtractor::take(Status status, qsizetype count)
{
    return {status, m_stream.take(count)};
}

} // namespace kalveno::sim
