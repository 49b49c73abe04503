#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

namespace kalveno::textcommand {

// The bridge's text commands: "><", a family letter and parameters, without separators between
// numeric fields; "OK" may stand in front (the console's acknowledgement) and one "*" may end a
// command. The console writes them straight to the TCP link, where the turnstile firmware takes
// them; the I/O firmware takes those for its outputs inside command frames too ("><T3T.3",
// "><B,..."). This is the one reading of them: the traffic decoder tells what they ask for,
// and the bridge simulator splits them from its stream and carries them out.

enum class Kind {
    Unknown,           // no command the bridge knows
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

inline constexpr QByteArrayView Start = "><";
inline constexpr QByteArrayView Acknowledge = "OK";
// No command is longer: a longer text is refused, and a stream holds no more of one.
inline constexpr qsizetype MaxLength = 160;

struct Command
{
    Kind kind = Kind::Unknown; // what its letters name, whether or not it is refused
    QString refusal;           // why the bridge does not carry it out; empty when it does
    bool acknowledged = false; // "OK" in front
    bool closed = false;       // a "*" after it
    QByteArray text;           // from "><" on, without the closing "*"
    // What a command that is carried out asks for.
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

    bool isRefused() const { return !refusal.isEmpty(); }
};

// Whether a command begins at the start of `s`: "><", or "OK><".
bool startsCommand(QByteArrayView s);

// How long the command at the start of `s` is, its "OK" and a "*" right after it included. A
// command ends where its form says (a fixed length, a "*", the announced data length) or at the
// first byte that cannot continue its numeric field. One that is refused runs on to the next
// "><" (or the "OK" in front of it), "*", CR or LF, so that it is taken whole and no tail of it
// ("-0501" of "><IP-0501") passes for something else. With `more`, bytes may still come: -1
// when those so far cannot tell, as for a command that ends with a numeric field ("><IP0501")
// until the byte after it has come. A "*" that has not come yet is not waited for.
qsizetype extent(QByteArrayView s, bool more = false);

// The command a text is, as extent() cut it from a stream.
Command parse(QByteArrayView text);

// What a command asks for, in the traffic decoder's words. A refused command is told as far as
// its letters and parameters can be read, else as an unknown command.
QString describe(const Command &command);

// describe(), and for a refused command why: "<what it asks for>; refused: <why>".
QString verdict(const Command &command);

// "TTL 1 OUT" to "TTL 4 OUT", "green LED", "red LED", "arm".
QString outputName(int output);

// Empty, or four dotted decimal numbers of at most 255 each.
bool isRemoteAddress(QByteArrayView text);

} // namespace kalveno::textcommand
