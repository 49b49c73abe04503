#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace kalveno {

// Which way a chunk crossed a link, from the side of whoever records it, or a link's event. The
// traffic record, the session log's lines, the simulator's and the site check's logs and the
// traffic views all say it with this one type and these words.
enum class Direction : quint8 { Sent, Received, Event };

// "sent", "received", "event"
QByteArrayView directionWord(Direction direction);
// The direction that directionWord() gives this word; nothing for any other text.
std::optional<Direction> directionNamed(QByteArrayView word);

// What kind of link bytes cross: what they can mean depends on it.
enum class LinkKind : quint8 { Tcp, Udp, Serial };

// The names of the links in the record and the logs, written alike by the console, the
// simulator and the site check, so that their logs of one session read side by side and a log
// tells whose it is.
namespace linkname {

QString tcp(quint16 port); // "TCP 1024": a TCP connection to or from that port
inline constexpr QStringView Udp = u"UDP";
QString serialPort(int number); // "COM1": the console's serial port of that number
inline constexpr QStringView SimulatorLine = u"serial"; // the simulator's end of the line
inline constexpr QStringView Simulator = u"sim";        // the simulator's own state
inline constexpr QStringView ConsoleLog = u"log";       // the console's session log's own lines
inline constexpr QStringView Check = u"check";          // the site check's own lines

// The port a TCP link's name gives; nothing for any other name.
std::optional<quint16> tcpPort(QStringView name);
bool isSerialPort(QStringView name);
// The kind of link that carries what a name's entries hold; nothing for the names of a
// program's own lines.
std::optional<LinkKind> kindOf(QStringView name);

} // namespace linkname

} // namespace kalveno
