#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace kalveno {

// Where a serial port number gets its device, the strongest first.
enum class PortSource { Mapping, Link, Default };

struct PortNumber
{
    int number = 0;
    QString device;
    PortSource source = PortSource::Default;

    bool operator==(const PortNumber &) const = default;
};

// On Windows the numbers are the system's own COMn and cannot be given to other devices.
#ifdef Q_OS_WIN
inline constexpr bool PortNumbersCanBeMapped = false;
#else
inline constexpr bool PortNumbersCanBeMapped = true;
#endif

// The device behind serial port number n (1 = the first port): COMn on Windows. Elsewhere an
// entry for n in the [ports] section of kalveno.ini wins over the symbolic link "com<n>" in the
// configuration folder, which wins over /dev/ttyS<n-1>. A mapped or linked device that is gone
// stays the number's device and fails to open, as any missing device does; the number does not
// quietly open another one.
PortNumber portNumber(int number);
inline QString serialDevice(int number)
{
    return portNumber(number).device;
}

// The name under stableFolder (/dev/serial/by-id) that leads to the same device as path, or
// nothing when there is none: a pseudo-terminal, a port on the board, a device that is absent.
QString stableNameOf(const QString &path,
                     const QString &stableFolder = QStringLiteral("/dev/serial/by-id"));

// Gives number to device in kalveno.ini, or takes its entry out when device is empty; the rest
// of the file stays as it was. Refused, with the file untouched and error set: a file that could
// not be read whole (its content would be lost), a read-only one, a device that an entry cannot
// hold.
bool setPortMapping(int number, const QString &device, QString *error);

// One serial port, whichever names reach it, with what Qt knows of it.
struct SerialPortEntry
{
    // The device as the system names it (/dev/ttyUSB0); an absent one as it was named.
    QString device;
    // Its name under /dev/serial/by-id, which stays the same when it is plugged in again.
    QString stableName;
    QString description;
    QString manufacturer;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    bool present = false;
    // The numbers that open it, and the com<n> links to it that a mapping of n overrides.
    QList<PortNumber> numbers;
    QList<PortNumber> overridden;

    // What a mapping stores: the stable name where there is one.
    QString mappingName() const { return stableName.isEmpty() ? device : stableName; }

    bool operator==(const SerialPortEntry &) const = default;
};

struct SerialPortScan
{
    QList<SerialPortEntry> ports;
    QMap<int, QString> mappings;
    QStringList problems;
};

// The ports that Qt finds and every port that a mapping or a link names, present or not; those
// with numbers first, by their lowest number, then the others by device.
SerialPortScan scanSerialPorts(const QString &stableFolder = QStringLiteral("/dev/serial/by-id"));

} // namespace kalveno
