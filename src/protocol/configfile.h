#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace kalveno::configfile {

// The configuration file: three lines of 8-bit text ended by CR LF. The first is a fixed
// header, the second the serial port number in the console's number-printing form (" 1 "),
// the third the bridge's address exactly as typed.
inline constexpr QByteArrayView Header =
    "FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)";

QByteArray format(QStringView portText, QStringView addressText);

struct Fields
{
    QString port;    // line 2 without its end blanks; empty when the line is missing
    QString address; // line 3 unchanged; empty when the line is missing
};

// Lines end at CR LF, or at a lone CR or LF; lines after the third are never looked at.
Fields parse(QByteArrayView content);

// How much of a file is read at the most: the three lines the console needs, with room to spare.
inline constexpr qsizetype ReadLimit = 16 * 1024 * 1024;

} // namespace kalveno::configfile
