#include "serialports.h"

#include "locations.h"
#include "portmapping.h"
#include "readsettingsfile.h"
#include "replacefile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// As much as the console reads of kalveno.ini at start-up.
constexpr qint64 SettingsLimit = 1024 * 1024;

// The device a present name leads to, so that a stable name, a link and Qt's own name of one
// port meet in one entry; an absent name stands for itself.
QString identity(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

PortMappings readMappings()
{
    if constexpr (!PortNumbersCanBeMapped)
        return {};
    const SettingsFileRead file = readSettingsFile(locations::settingsFile(), SettingsLimit);
    if (file.status == SettingsFileRead::Unreadable)
        return {{},
                {u"%1 could not be read (%2); its [ports] are not used"_s.arg(
                    locations::settingsFile(), file.why)}};
    return parsePortMappings(file.content);
}

QString linkPath(int number)
{
    return locations::folder() + u"/com%1"_s.arg(number);
}

// Every com<n> link of the configuration folder, dangling ones included.
QMap<int, QString> readLinks()
{
    QMap<int, QString> links;
    if constexpr (!PortNumbersCanBeMapped)
        return links;
    static const QRegularExpression name(u"^com([1-9][0-9]{0,4})$"_s);
    const QFileInfoList entries =
        QDir(locations::folder()).entryInfoList({u"com*"_s}, QDir::AllEntries | QDir::System);
    for (const QFileInfo &entry : entries) {
        const auto match = name.match(entry.fileName());
        const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (entry.isSymLink() && number >= 1 && number <= 32767)
            links.insert(number, entry.symLinkTarget());
    }
    return links;
}

// The number a port has when nothing else gives that number a device.
std::optional<int> defaultNumber(const QString &device)
{
#ifdef Q_OS_WIN
    static const QRegularExpression name(u"^COM([1-9][0-9]*)$"_s);
    const int offset = 0;
#else
    static const QRegularExpression name(u"^/dev/ttyS([0-9]+)$"_s);
    const int offset = 1;
#endif
    const auto match = name.match(device);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt() + offset;
}

} // namespace

PortNumber portNumber(int number)
{
#ifdef Q_OS_WIN
    return {number, u"COM%1"_s.arg(number), PortSource::Default};
#else
    const PortMappings mappings = readMappings();
    if (const auto mapped = mappings.devices.find(number); mapped != mappings.devices.end())
        return {number, *mapped, PortSource::Mapping};
    const QFileInfo link(linkPath(number));
    if (link.isSymLink())
        return {number, link.symLinkTarget(), PortSource::Link};
    return {number, u"/dev/ttyS%1"_s.arg(number - 1), PortSource::Default};
#endif
}

QString stableNameOf(const QString &path, const QString &stableFolder)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return {};
    const QFileInfoList names =
        QDir(stableFolder).entryInfoList(QDir::Files | QDir::System, QDir::Name);
    for (const QFileInfo &name : names) {
        if (name.canonicalFilePath() == device)
            return name.filePath();
    }
    return {};
}

bool setPortMapping(int number, const QString &device, QString *error)
{
    const QString path = locations::settingsFile();
    if (!device.isEmpty()) {
        if (const QString why = unmappableDevice(device); !why.isEmpty()) {
            *error = why;
            return false;
        }
    }
    const SettingsFileRead file = readSettingsFile(path, SettingsLimit);
    if (file.status == SettingsFileRead::Unreadable) {
        *error = u"%1 could not be read: %2"_s.arg(path, file.why);
        return false;
    }
    if (!QDir().mkpath(locations::folder())) {
        *error = u"cannot make the folder %1"_s.arg(locations::folder());
        return false;
    }
    return replaceFile(path, withPortMapping(file.content, number, device), error);
}

SerialPortScan scanSerialPorts(const QString &stableFolder)
{
    SerialPortScan scan;
    const PortMappings mappings = readMappings();
    scan.mappings = mappings.devices;
    scan.problems = mappings.problems;

    QMap<QString, QString> stableNames;
    const QFileInfoList stable =
        QDir(stableFolder).entryInfoList(QDir::Files | QDir::System, QDir::Name);
    for (const QFileInfo &name : stable) {
        const QString device = name.canonicalFilePath();
        if (!device.isEmpty() && !stableNames.contains(device))
            stableNames.insert(device, name.filePath());
    }

    QMap<QString, SerialPortEntry> entries;
    const auto entryFor = [&](const QString &device) -> SerialPortEntry & {
        const QString key = identity(device);
        auto found = entries.find(key);
        if (found == entries.end()) {
            SerialPortEntry entry;
            entry.present = QFileInfo::exists(device);
            entry.device = entry.present ? key : device;
            entry.stableName = stableNames.value(key);
            found = entries.insert(key, entry);
        }
        return *found;
    };

    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
#ifdef Q_OS_WIN
        SerialPortEntry &entry = entryFor(info.portName());
        entry.present = true;
#else
        SerialPortEntry &entry = entryFor(info.systemLocation());
#endif
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        entry.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            entry.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            entry.productId = info.productIdentifier();
    }

    const QMap<int, QString> links = readLinks();
    QMap<int, PortNumber> numbered;
    for (auto link = links.begin(); link != links.end(); ++link) {
        const PortNumber number{link.key(), link.value(), PortSource::Link};
        if (mappings.devices.contains(link.key()))
            entryFor(link.value()).overridden << number;
        else
            numbered.insert(link.key(), number);
    }
    for (auto mapped = mappings.devices.begin(); mapped != mappings.devices.end(); ++mapped)
        numbered.insert(mapped.key(), {mapped.key(), mapped.value(), PortSource::Mapping});
    for (const PortNumber &number : std::as_const(numbered))
        entryFor(number.device).numbers << number;
    for (SerialPortEntry &entry : entries) {
        const auto number = entry.present ? defaultNumber(entry.device) : std::nullopt;
        if (number && !numbered.contains(*number)) {
            entry.numbers << PortNumber{*number, entry.device, PortSource::Default};
            std::sort(entry.numbers.begin(), entry.numbers.end(),
                      [](const PortNumber &a, const PortNumber &b) { return a.number < b.number; });
        }
    }

    scan.ports = entries.values();
    std::stable_sort(scan.ports.begin(), scan.ports.end(),
                     [](const SerialPortEntry &a, const SerialPortEntry &b) {
                         if (a.numbers.isEmpty() != b.numbers.isEmpty())
                             return b.numbers.isEmpty();
                         if (!a.numbers.isEmpty() && a.numbers[0].number != b.numbers[0].number)
                             return a.numbers[0].number < b.numbers[0].number;
                         return a.device < b.device;
                     });
    return scan;
}

} // namespace kalveno
