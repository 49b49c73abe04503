#pragma once

#include "traffic.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

namespace kalveno::logline {

// One line of a session log, written alike by the console and the bridge simulator so that
// their logs of one session can be read side by side. Six fields separated by one TAB:
//     2026-12-07T14:03:09.512+01:00  TCP 1024  sent  3  fe f8 03  what the bytes mean
// (1) local time, ISO 8601 with milliseconds and the UTC offset; (2) the link; (3) sent,
// received or event; (4) the byte count in decimal; (5) the bytes as lower-case hex pairs
// separated by single spaces, empty for none; (6) the meaning, in which backslash, TAB, CR, LF
// and other control characters (C0, DEL, C1) are written \\, \t, \r, \n and \xHH, so that a
// line is always one line and parses back to the same Line.

struct Line
{
    QDateTime time;      // local time, millisecond precision
    QString link;        // "TCP 1024", "TCP 1025", "UDP", "COM1"; never contains a tab
    Direction direction; // from the side of whoever writes the log
    QByteArray bytes;    // what crossed the link; empty for an event
    QString meaning;     // what the bytes mean; for an event, the event itself
};

// The current local time, millisecond precision, as its offset from UTC. Qt works out a local
// time's offset anew for every QDateTime, which costs microseconds (more without TZ set); this
// looks it up once per quarter hour of UTC, as offsets change only at quarter hours, and so
// formats fast.
QDateTime now();

// One line, UTF-8, without its line end, in one allocation. A time given as an offset from UTC
// (now(), parse()) costs nothing to write; a Qt::LocalTime one costs Qt's offset lookup. The
// offset is written in whole minutes (every zone's since 1970); a time that is not valid, or
// outside the years 1 to 9999, is written as zeros, which parse() refuses. Control characters
// in the link, which the links in use never have, are written as spaces.
QByteArray format(const Line &line);

// The Line that format() wrote, from one line with or without a trailing LF or CR LF; nothing
// for a wrong field count, a bad time, an unknown direction, bad hex, a count that does not
// match the hex, or a meaning with a raw control character or an unknown escape. The time comes
// back at the offset it was written with: the same instant as the local time that was written.
std::optional<Line> parse(QByteArrayView line);

} // namespace kalveno::logline
