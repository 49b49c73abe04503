#include "linereader.h"
#include "log.h"
#include "options.h"
#include "site.h"

#include "cli/commandline.h"
#include "cli/process.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kalveno::sim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop like "quit", so that the link is removed on the way
// out; the handler only writes to a socket pair that the event loop watches.
bool watchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void say(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void complain(const QString &line)
{
    const QByteArray bytes = u"kalveno-bridge-sim: "_s.toLocal8Bit() + line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    kalveno::cli::ignoreBrokenPipes();
    // A site listens on two ports per bridge.
    kalveno::cli::raiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"kalveno-bridge-sim"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(KALVENO_VERSION));

    QCommandLineParser parser;
    addOptions(&parser);
    parser.addVersionOption();
    Options options;
    QString error;
    if (!kalveno::cli::parse(parser, &error) || !readOptions(parser, &options, &error)) {
        complain(error + u" (see --help)"_s);
        return 2;
    }

    Log log;
    if (parser.isSet(u"log"_s) && !log.openFile(parser.value(u"log"_s), &error)) {
        complain(u"cannot write the log: "_s + error);
        return 1;
    }
    if (!watchSignals()) {
        complain(u"cannot watch signals"_s);
        return 1;
    }
    Site simulator(options, &log);
    if (!simulator.start(&error)) {
        complain(error);
        return 1;
    }
    ReplayLink *replay = simulator.bridge(1).replay();
    if (replay) {
        for (const QString &warning : replay->warnings())
            complain(u"warning: "_s + warning);
        QObject::connect(replay, &ReplayLink::said, &app, say);
        QObject::connect(replay, &ReplayLink::failed, &app, [] { QCoreApplication::exit(1); });
    }

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&log] {
        char number = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &number, 1);
        log.state(Link::Sim, u"ending on signal %1"_s.arg(int(number)));
        QCoreApplication::quit();
    });

    LineReader control(STDIN_FILENO);
    QObject::connect(&control, &LineReader::line, &app, [&simulator](const QString &line) {
        const Simulator::Reply reply = simulator.control(line);
        if (!reply.text.isEmpty())
            say(reply.text);
        if (reply.quit)
            QCoreApplication::quit();
    });
    QObject::connect(&control, &LineReader::overlong, &app, [] { say(u"error line too long"_s); });
    QObject::connect(&control, &LineReader::ended, &app, [&log] {
        log.state(Link::Sim, u"standard input ended; control commands no longer read"_s);
    });

    for (const QString &line : simulator.endpoints())
        say(line);
    say(u"ready"_s);
    const int status = QCoreApplication::exec();
    if (replay && !replay->finished())
        say(replay->summary());
    return status;
}
