#include "commandline.h"

#include <QCoreApplication>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kalveno::cli {

bool parse(QCommandLineParser &parser, QString *error)
{
    const QStringList arguments = QCoreApplication::arguments();
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    // process() answers these three and ends; --help-all has no call of its own.
    if (parser.isSet(u"help"_s) || parser.isSet(u"help-all"_s) || parser.isSet(u"version"_s))
        parser.process(arguments);
    return true;
}

bool readNumber(const QCommandLineParser &parser, const QString &name, int min, int max, int *value,
                QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int n = parser.value(name).toInt(&ok);
    if (!ok || n < min || n > max) {
        *error = u"--%1 takes a whole number from %2 to %3"_s.arg(name).arg(min).arg(max);
        return false;
    }
    *value = n;
    return true;
}

bool readPort(const QCommandLineParser &parser, const QString &name, int min, quint16 *port,
              QString *error)
{
    int value = *port;
    if (!readNumber(parser, name, min, 65535, &value, error))
        return false;
    *port = quint16(value);
    return true;
}

bool readAddress(const QCommandLineParser &parser, const QString &name, QHostAddress *address,
                 QString *error)
{
    if (!parser.isSet(name))
        return true;
    const QHostAddress parsed = parseAddress(parser.value(name));
    if (parsed.isNull()) {
        *error = u"--%1 takes an IP address"_s.arg(name);
        return false;
    }
    *address = parsed;
    return true;
}

QHostAddress parseAddress(const QString &text)
{
    if (!text.contains(u':')) {
        const QStringList parts = text.split(u'.');
        const bool dotted =
            parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const QString &part) {
                bool ok = false;
                return part.size() <= 3 && part.toUInt(&ok) <= 255 && ok && part[0].isDigit();
            });
        if (!dotted)
            return {};
    }
    return QHostAddress(text);
}

} // namespace kalveno::cli
