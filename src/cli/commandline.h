#pragma once

#include <QCommandLineParser>
#include <QHostAddress>
#include <QString>

namespace kalveno::cli {

// Reads the program's command line into `parser`. --help, --help-all and --version are
// answered at once, and the program ends; false, with the parser's message, for an unknown
// option or a missing value.
bool parse(QCommandLineParser &parser, QString *error);

// Each reader leaves the value as it is when the option is not given, and is false with a
// message that names the option when its value is not one it takes.

// A whole number from `min` to `max`.
bool readNumber(const QCommandLineParser &parser, const QString &name, int min, int max, int *value,
                QString *error);
// A port number from `min` (0 where any free port will do) to 65535.
bool readPort(const QCommandLineParser &parser, const QString &name, int min, quint16 *port,
              QString *error);
bool readAddress(const QCommandLineParser &parser, const QString &name, QHostAddress *address,
                 QString *error);

// An IPv6 address, or an IPv4 one written in full: four numbers from 0 to 255 (Qt would also
// take "10.0.0" for 10.0.0.0, which is more likely a slip than meant). Null for anything else.
QHostAddress parseAddress(const QString &text);

} // namespace kalveno::cli
