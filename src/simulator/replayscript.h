#pragma once

#include "protocol/traffic.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kalveno::sim {

// One entry of a session log as a replay plays it on its link.
struct ReplayStep
{
    enum class Kind : quint8 {
        Expect,        // the console sent these bytes: the replay waits for them
        Play,          // the bridge sent these bytes: the replay sends them
        Connect,       // the console connected (TCP) or opened the serial line: awaited
        BridgeCloses,  // the bridge closed the TCP connection: the replay closes it
        ConsoleCloses, // the console closed it: awaited
    };
    enum class State : quint8 { Waiting, Done, Skipped };

    Kind kind = Kind::Expect;
    State state = State::Waiting;
    qint32 file = 0;   // the file's index in the script
    qint64 line = 0;   // its line there, from 1
    qint64 gapMs = 0;  // the recorded time since the step before it on its link
    qint64 doneAt = 0; // the replay's clock when it was done or skipped
    QByteArray bytes;
};

// What one link of the bridge did in the log, in order.
struct LinkScript
{
    LinkKind kind = LinkKind::Tcp;
    quint16 port = 0; // TCP: the bridge's port that the log names
    QString name;     // as the log names it: "TCP 1024", "UDP", "COM1", "serial"
    QList<ReplayStep> steps;
};

// A session's log files read into one script per link of the bridge. The files are the
// console's (directions from its side, links TCP <port>, UDP, COM<n> and log) or the
// simulator's own --log (directions from the simulator's side, links TCP <port>, UDP, serial and
// sim, a received chunk logged once as read and again in its parts): a file with a serial or sim
// line is the simulator's, one with a COM<n> or log line the console's, and one with neither
// takes the side of the others (the console's when none says).
struct ReplayScript
{
    enum class Side { Console, Simulator };

    Side side = Side::Console;
    QStringList files;
    QList<LinkScript> links;
    // What the replay should be told but does not stop it: entries the log says it lost, links
    // it does not know.
    QStringList warnings;

    // Nothing when a file cannot be read, has a broken line, mixes both sides, or carries bytes
    // on two serial ports; `error` says which file and line.
    static std::optional<ReplayScript> read(const QStringList &files, QString *error);
};

} // namespace kalveno::sim
