#include "checkoptions.h"

#include "cli/commandline.h"
#include "protocol/turnstile.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace kalveno::check {

namespace {

constexpr std::array<std::pair<Step, QStringView>, 5> StepNames = {{
    {Step::Connect, u"connect"},
    {Step::Status, u"status"},
    {Step::Outputs, u"outputs"},
    {Step::Config, u"config"},
    {Step::Loop, u"loop"},
}};

constexpr qsizetype MaxName = 64;
constexpr qsizetype MaxLine = 1024;
constexpr qint64 MaxBridgesFile = 16 * 1024 * 1024;
constexpr int MaxJobs = 16384;

const QString Description = uR"(Checks many bridges at once, each through the steps chosen:
  connect  a TCP connection to the bridge's first port within the time-out
  status   the status of inputs 1 and 2, asked with the console's STATUS frames; reports input1
           and input2 as on or off
  outputs  each output on, then off, with the console's frames; with --jig, each input wired to
           it must follow (read by status requests); without, the bridge must still answer a
           status request after the eight commands
  config   the turnstile's configuration request; reports the reply's fields: polling, mode,
           time_to_pass, validation_timeout, cards_before_offline, remote_antenna_2 to _4
  loop     the console's send test on --loop-port: its 1000-digit pattern ten times, each pass
           back whole and unchanged within the time-out, as through a loop-back plug on the
           bridge's second serial line
A step that needs the connection is not run when connect failed (or was lost); the others are.
Each bridge is BRIDGE on the command line, ADDRESS or NAME=ADDRESS, or a line of --bridges FILE.
NAME holds letters, digits, '.', '_' and '-', and begins with a letter or a digit.

Standard output: a table, one row per bridge, with each step's mark (ok, FAIL, or - when not
run) and the reasons of its failures; standard error: the progress. Exit status: 0 when every
bridge passed, 1 when one failed, 2 for a wrong command line, an unreadable bridges file or a
report that cannot be written.)"_s;

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'.' || c == u'_' || c == u'-';
}

bool isName(QStringView name)
{
    return !name.isEmpty() && name.size() <= MaxName && name[0].isLetterOrNumber() &&
           std::all_of(name.begin(), name.end(), isNameChar);
}

// One bridge from its name (empty for none) and address; `where` names its source in errors.
bool makeBridge(const QString &name, const QString &address, const QString &where, Bridge *bridge,
                QString *error)
{
    if (!name.isEmpty() && !isName(name)) {
        *error = u"%1: the name \"%2\" may hold only letters, digits, '.', '_' and '-', begin "
                 u"with a letter or a digit and have at most %3 characters"_s.arg(where, name)
                     .arg(MaxName);
        return false;
    }
    bridge->address = cli::parseAddress(address);
    if (bridge->address.isNull()) {
        *error = u"%1: \"%2\" is not an IP address"_s.arg(where, address);
        return false;
    }
    bridge->name = name.isEmpty() ? bridge->address.toString() : name;
    return true;
}

// Bridges from the file and the command line, each name and address once.
bool checkUnique(const QList<Bridge> &bridges, const QStringList &sources, QString *error)
{
    QHash<QString, qsizetype> names;
    QHash<QString, qsizetype> addresses;
    for (qsizetype i = 0; i < bridges.size(); ++i) {
        const auto name = names.constFind(bridges[i].name);
        const auto address = addresses.constFind(bridges[i].address.toString());
        if (name != names.cend() || address != addresses.cend()) {
            const bool sameName = name != names.cend();
            *error = u"%1: %2 %3 is already given by %4"_s.arg(
                sources[i], sameName ? u"the name"_s : u"the address"_s,
                sameName ? bridges[i].name : bridges[i].address.toString(),
                sources[sameName ? *name : *address]);
            return false;
        }
        names.insert(bridges[i].name, i);
        addresses.insert(bridges[i].address.toString(), i);
    }
    return true;
}

bool readSteps(const QCommandLineParser &parser, QList<Step> *steps, QString *error)
{
    if (!parser.isSet(u"steps"_s))
        return true;
    steps->clear();
    for (const QString &word : parser.value(u"steps"_s).split(u',')) {
        const auto named = std::find_if(StepNames.begin(), StepNames.end(),
                                        [&word](const auto &step) { return step.second == word; });
        if (named == StepNames.end()) {
            *error = u"--steps: \"%1\" is not connect, status, outputs, config or loop"_s.arg(word);
            return false;
        }
        if (steps->contains(named->first)) {
            *error = u"--steps: %1 is given twice"_s.arg(word);
            return false;
        }
        if (needsConnection(named->first) && !steps->contains(Step::Connect)) {
            *error = u"--steps: %1 needs connect before it"_s.arg(word);
            return false;
        }
        steps->append(named->first);
    }
    return true;
}

// The step that reports each value that --expect can name.
std::map<QString, Step> reportedValues()
{
    std::map<QString, Step> keys{{u"input1"_s, Step::Status}, {u"input2"_s, Step::Status}};
    for (const auto &[key, value] : turnstile::configReplyFields({}))
        keys.emplace(key, Step::Config);
    return keys;
}

bool readExpected(const QCommandLineParser &parser, Options *options, QString *error)
{
    static const std::map<QString, Step> reported = reportedValues();
    for (const QString &item : parser.values(u"expect"_s)) {
        const qsizetype equals = item.indexOf(u'=');
        const QString key = item.first(qMax<qsizetype>(equals, 0));
        const QString value = item.sliced(equals + 1);
        const auto known = reported.find(key);
        if (equals < 0 || known == reported.end()) {
            QStringList keys;
            for (const auto &[name, step] : reported)
                keys.append(name);
            *error = u"--expect takes KEY=VALUE with KEY one of %1, not \"%2\""_s.arg(
                keys.join(u", "_s), item);
            return false;
        }
        if (!options->steps.contains(known->second)) {
            *error = u"--expect %1: the %2 step, which reports it, is not in --steps"_s.arg(
                key, stepName(known->second));
            return false;
        }
        if (known->second == Step::Status && value != u"on" && value != u"off") {
            *error = u"--expect %1 takes on or off"_s.arg(key);
            return false;
        }
        if (!options->expected.emplace(key, value).second) {
            *error = u"--expect %1 is given twice"_s.arg(key);
            return false;
        }
    }
    return true;
}

// The bridges of a bridges file, each with the file and line that gave it in `sources`.
bool readBridgeLines(QByteArrayView text, const QString &fileName, QList<Bridge> *bridges,
                     QStringList *sources, QString *error)
{
    qsizetype number = 0;
    for (qsizetype from = 0; from < text.size();) {
        qsizetype end = text.indexOf('\n', from);
        if (end < 0)
            end = text.size();
        const QByteArrayView raw = text.sliced(from, end - from);
        from = end + 1;
        ++number;
        const QString where = u"%1:%2"_s.arg(fileName).arg(number);
        if (raw.size() > MaxLine) {
            *error = u"%1: longer than %2 characters"_s.arg(where).arg(MaxLine);
            return false;
        }
        const qsizetype hash = raw.indexOf('#');
        const QString line = QString::fromUtf8(hash < 0 ? raw : raw.first(hash));
        const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words.size() > 2) {
            *error = u"%1: expected NAME ADDRESS or ADDRESS, found %2 words"_s.arg(where).arg(
                words.size());
            return false;
        }
        Bridge bridge;
        if (!makeBridge(words.size() == 2 ? words[0] : QString(), words.constLast(), where, &bridge,
                        error))
            return false;
        bridges->append(bridge);
        sources->append(where);
    }
    return true;
}

bool readBridgesFile(const QString &path, QList<Bridge> *bridges, QStringList *sources,
                     QString *error)
{
    QFile file(path);
    if (path == u"-" ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly)) {
        *error = u"cannot read the bridges file %1: %2"_s.arg(path, file.errorString());
        return false;
    }
    // A device that never ends (/dev/zero) is read no further than any real file would be.
    const QByteArray text = file.read(MaxBridgesFile + 1);
    if (text.size() > MaxBridgesFile) {
        *error = u"%1: longer than %2 MiB"_s.arg(path).arg(MaxBridgesFile >> 20);
        return false;
    }
    return readBridgeLines(text, path, bridges, sources, error);
}

} // namespace

QString stepName(Step step)
{
    return StepNames[size_t(step)].second.toString();
}

bool needsConnection(Step step)
{
    return step == Step::Status || step == Step::Outputs || step == Step::Config;
}

QString logFileName(const QString &bridgeName)
{
    QString name = bridgeName;
    for (QChar &c : name) {
        if (!isNameChar(c))
            c = u'_';
    }
    return name + u".log"_s;
}

bool readBridges(QByteArrayView text, const QString &fileName, QList<Bridge> *bridges,
                 QString *error)
{
    QList<Bridge> read;
    QStringList sources;
    if (!readBridgeLines(text, fileName, &read, &sources, error) ||
        !checkUnique(read, sources, error))
        return false;
    bridges->append(read);
    return true;
}

void addOptions(QCommandLineParser *parser)
{
    parser->setApplicationDescription(Description);
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addPositionalArgument(u"BRIDGE"_s, u"ADDRESS or NAME=ADDRESS of a bridge to check."_s,
                                  u"[BRIDGE...]"_s);
    parser->addOptions({
        {u"bridges"_s,
         u"One bridge a line, \"NAME ADDRESS\" or \"ADDRESS\"; '#' begins a comment; '-' for "
         u"standard input."_s,
         u"file"_s},
        {u"steps"_s,
         u"Comma-separated, in their order of running: connect, status, outputs, config, loop "
         u"(default connect,status,config)."_s,
         u"list"_s},
        {u"expect"_s,
         u"A reported value that must hold, such as input1=on or mode=0 (repeatable)."_s,
         u"key=value"_s},
        {u"jig"_s,
         u"Outputs wired to inputs on a test jig, for the outputs step, such as 1:1,2:2."_s,
         u"out:in,..."_s},
        {u"timeout-ms"_s, u"Time-out of each step, and of each pass of loop (default 2000)."_s,
         u"ms"_s},
        {u"jobs"_s, u"Bridges checked at once (default 64)."_s, u"count"_s},
        {u"tcp-port"_s, u"The bridges' first port (default 1024)."_s, u"port"_s},
        {u"loop-port"_s, u"The bridges' second port, for loop (default 1025)."_s, u"port"_s},
        {u"json"_s,
         u"Write the machine report there; '-' for standard output, instead of the table."_s,
         u"file"_s},
        {u"junit"_s,
         u"Write a JUnit XML report there; '-' for standard output, instead of the table."_s,
         u"file"_s},
        {u"log-dir"_s,
         u"Write one session log per bridge there, NAME.log, in the console's format."_s, u"dir"_s},
    });
}

bool readOptions(const QCommandLineParser &parser, Options *options, QString *error)
{
    if (!readSteps(parser, &options->steps, error) ||
        !cli::readNumber(parser, u"timeout-ms"_s, 1, 3600000, &options->timeoutMs, error) ||
        !cli::readNumber(parser, u"jobs"_s, 1, MaxJobs, &options->jobs, error) ||
        !cli::readPort(parser, u"tcp-port"_s, 1, &options->tcpPort, error) ||
        !cli::readPort(parser, u"loop-port"_s, 1, &options->loopPort, error) ||
        !readExpected(parser, options, error))
        return false;
    if (parser.isSet(u"jig"_s)) {
        const std::optional<QList<bridgeio::JigWire>> jig =
            bridgeio::parseJig(parser.value(u"jig"_s), error);
        if (!jig) {
            *error = u"--jig: "_s + *error;
            return false;
        }
        if (!options->steps.contains(Step::Outputs)) {
            *error = u"--jig is for the outputs step, which is not in --steps"_s;
            return false;
        }
        options->jig = *jig;
    }
    options->jsonPath = parser.value(u"json"_s);
    options->junitPath = parser.value(u"junit"_s);
    options->logDir = parser.value(u"log-dir"_s);
    if (options->jsonPath == u"-" && options->junitPath == u"-") {
        *error = u"--json and --junit cannot both go to standard output"_s;
        return false;
    }

    QStringList sources;
    if (parser.isSet(u"bridges"_s) &&
        !readBridgesFile(parser.value(u"bridges"_s), &options->bridges, &sources, error))
        return false;
    for (const QString &argument : parser.positionalArguments()) {
        const qsizetype equals = argument.indexOf(u'=');
        Bridge bridge;
        const QString where = u"bridge \"%1\""_s.arg(argument);
        if (equals == 0) {
            *error = where + u": the name before '=' is empty"_s;
            return false;
        }
        if (!makeBridge(argument.first(qMax<qsizetype>(equals, 0)), argument.sliced(equals + 1),
                        where, &bridge, error))
            return false;
        options->bridges.append(bridge);
        sources.append(where);
    }
    if (options->bridges.isEmpty()) {
        *error = u"no bridge to check: give BRIDGE or --bridges FILE"_s;
        return false;
    }
    if (!checkUnique(options->bridges, sources, error))
        return false;
    if (!options->logDir.isEmpty()) {
        QHash<QString, QString> files;
        for (const Bridge &bridge : std::as_const(options->bridges)) {
            const QString file = logFileName(bridge.name);
            if (const auto other = files.constFind(file); other != files.cend()) {
                *error = u"the logs of %1 and %2 would both be %3"_s.arg(*other, bridge.name, file);
                return false;
            }
            files.insert(file, bridge.name);
        }
    }
    return true;
}

} // namespace kalveno::check
