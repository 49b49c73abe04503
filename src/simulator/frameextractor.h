#pragma once

#include "streambuffer.h"

#include <QByteArray>
#include <QByteArrayView>

namespace kalveno::sim {

// Finds the bridge's command frames (FE F8 08 02, payload, 03) in a byte stream that also
// carries plain data for the serial line. The payload is not escaped, so a frame ends at the
// first 03 after its head. Bytes that cannot start a frame come out as data at once; a possible
// frame head, or a frame still waiting for its end byte, is held until more bytes decide or the
// caller says the stream has gone quiet. At most MaxPayload + 4 bytes are ever held.
class FrameExtractor
{
public:
    enum class Status {
        NeedMore, // nothing complete; held bytes, if any, wait for more
        Data,     // bytes that belong to no frame, in stream order
        Frame,    // a complete frame; the item holds its payload
        Broken,   // a frame head whose end never came: the bytes from its head on, dropped
    };
    struct Item
    {
        Status status = Status::NeedMore;
        QByteArray bytes;
    };

    static constexpr qsizetype MaxPayload = 256;

    void append(QByteArrayView bytes);
    // The next item of the stream; NeedMore once everything complete has been taken.
    Item next();
    // The stream has gone quiet: whatever is held comes out, a started frame as Broken and a
    // partial head as Data. NeedMore when nothing was held. Call after next() gave NeedMore.
    Item flush();
    void clear() { m_stream.clear(); }
    qsizetype held() const { return m_stream.held(); }

private:
    Item take(Status status, qsizetype count);

    StreamBuffer m_stream;
};

} // namespace kalveno::sim
