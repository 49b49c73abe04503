#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kalveno {

// The [ports] section of kalveno.ini gives serial port numbers their devices, one line each:
//
//     [ports]
//     3=/dev/serial/by-id/usb-Maker_Adapter_A1B2-if00-port0 ; the left adapter
//
// A number is 1 to 32767 and a device an absolute path; text after ';' is a comment. A line
// that is not such an entry is left out and named in problems; a later line for a number wins
// over an earlier one.
struct PortMappings
{
    QMap<int, QString> devices;
    QStringList problems;
};

PortMappings parsePortMappings(const QByteArray &ini);

// The file with number's entry set to device, or taken out when device is empty; the file is
// written by hand because QSettings would drop its comments. Every other line stays byte for
// byte, an entry's own comment included: a replaced entry keeps its comment on its line, a
// removed one leaves the comment behind on a line of its own. A new entry goes after the last
// entry of the section, and a missing section is added at the end, with the file's own line
// ends.
QByteArray withPortMapping(const QByteArray &ini, int number, const QString &device);

// Why device cannot be written as an entry, or nothing when it can.
QString unmappableDevice(const QString &device);

} // namespace kalveno
