#pragma once

#include "streambuffer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>

namespace kalveno::sim {

// The bridge's text commands: "><", a family letter and parameters, without separators between
// numeric fields; "OK" may stand in front (the console's acknowledgement) and one "*" may end a
// command. They reach the I/O firmware inside command frames ("><T3T.3", "><B,...") and the
// turnstile firmware as plain text on its TCP link.
struct TextCommand
{
    enum class Kind {
        Invalid,
        Output,            // "><T<n>E", "><T<n>D", "><T<n>T<seconds>"
        Batch,             // "><B,<on>,<f1>,<f2>,<f3>,<f4>"
        Passage,           // "><IP<seconds><persons>"
        ValidationTimeout, // "><IT<seconds><cards>"
        Mode,              // "><IM<digit>"
        Direct,            // "><ID<length><data>"
        ReadConfig,        // "><IR?"
        WriteConfig,       // "><IR,<polling>,<ip2>,<ip3>,<ip4>*"
    };
    enum class Action { On, Off, Timed };

    Kind kind = Kind::Invalid;
    QString problem; // why an Invalid text was refused
    bool acknowledged = false;
    int output = 0; // 1 to 4 the TTL outputs, 5 the green LED, 6 the red LED, 7 the arm
    Action action = Action::On;
    int durationMs = 0;
    bool batchOn = false;
    int seconds = 0;
    int count = 0; // persons of a passage, cards of a validation time-out
    int mode = 0;
    QByteArray data;
    char polling = 0;
    std::array<QByteArray, 3> addresses;
};

TextCommand parseTextCommand(QByteArrayView text);
QString describe(const TextCommand &command);
// "output 1" to "output 4", "green LED", "red LED", "arm".
QString outputName(int output);
// Empty, or four dotted decimal numbers of at most 255 each.
bool isRemoteAddress(QByteArrayView text);

// Cuts the turnstile's TCP stream into text commands and the plain data around them, which
// belongs to the serial line. A chunk boundary ends nothing: a command ends where its form says
// (a fixed length, a "*", the announced data length) or at the first byte that cannot continue
// its numeric field; a command that ends with such a field ("><IP0501") is complete only when
// the next byte comes or the stream goes quiet (flush). A possible "><" or "OK><" at the end of
// the stream is held likewise. A command that is refused runs on to the next "><", "*", CR or
// LF, so that it is taken whole. At most MaxCommand bytes are held.
class CommandSplitter
{
public:
    enum class Status { NeedMore, Data, Command };
    struct Item
    {
        Status status = Status::NeedMore;
        QByteArray bytes; // a command as received, with its "OK" and "*"
    };

    static constexpr qsizetype MaxCommand = 160;

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
