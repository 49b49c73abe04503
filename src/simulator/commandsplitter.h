#pragma once

#include "streambuffer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace kalveno::sim {

// Cuts the turnstile's TCP stream into text commands (protocol/textcommand.h) and the plain data
// around them, which belongs to the serial line. A chunk boundary ends nothing: a command ends
// where the grammar says, and one that it cannot tell yet is held until the next bytes come or
// the stream goes quiet (flush). A possible "><" or "OK><" at the end of the stream is held
// likewise. At most textcommand::MaxLength bytes are held.
class CommandSplitter
{
public:
    enum class Status { NeedMore, Data, Command };
    struct Item
    {
        Status status = Status::NeedMore;
        QByteArray bytes; // a command as received, with its "OK" and "*"
    };

    void append(QByteArrayView bytes);
    Item next();
    // The stream has gone quiet: everything held comes out.
    QList<Item> flush();
    void clear() { m_stream.clear(); }
    qsizetype held() const { return m_stream.held(); }

private:
    Item take(Status status, qsizetype count);

    StreamBuffer m_stream;
    bool m_quiet = false;
};

} // namespace kalveno::sim
