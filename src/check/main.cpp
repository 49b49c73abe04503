#include "checkoptions.h"
#include "report.h"
#include "sitecheck.h"

#include "cli/commandline.h"
#include "cli/process.h"
#include "platform/replacefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kalveno::check;

namespace {

// Descriptors that a check of one bridge may hold at once: two sockets and its log.
constexpr quint64 DescriptorsPerJob = 3;
constexpr quint64 DescriptorsSpare = 32;

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void complain(const QString &line)
{
    write(stderr, u"kalveno-check: "_s + line + u'\n');
}

// As many descriptors as the system lets the process have; returns how many jobs they allow.
int allowedJobs(int jobs)
{
    const quint64 limit = kalveno::cli::raiseDescriptorLimit();
    if (limit <= DescriptorsSpare)
        return jobs;
    return int(qMin<quint64>(quint64(jobs), (limit - DescriptorsSpare) / DescriptorsPerJob));
}

// Where a report goes must be a folder the check can write to, before any bridge is checked.
bool canWriteBeside(const QString &path, QString *error)
{
    if (path.isEmpty() || path == u"-")
        return true;
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.isDir() && folder.isWritable())
        return true;
    *error = u"cannot write %1: %2 is not a folder this program may write to"_s.arg(
        path, folder.filePath());
    return false;
}

// Progress on standard error: a bar redrawn in place on a terminal, else a line per bridge.
class Progress
{
public:
    explicit Progress(qsizetype total)
        : m_total(total)
        , m_terminal(::isatty(STDERR_FILENO) == 1)
    {
        m_shown.start();
    }

    void bridgeDone(qsizetype done, const BridgeResult &bridge)
    {
        if (!bridge.passed)
            ++m_failed;
        if (!m_terminal) {
            write(stderr, u"kalveno-check: %1/%2 %3 %4 %5\n"_s.arg(done).arg(m_total).arg(
                              bridge.bridge.name, bridge.bridge.address.toString(),
                              bridge.passed ? u"passed"_s : u"failed"_s));
            return;
        }
        if (done < m_total && m_shown.elapsed() < RedrawMs)
            return;
        m_shown.restart();
        constexpr int Width = 30;
        const int filled = int(done * Width / m_total);
        write(stderr, u"\r[%1%2] %3/%4 checked, %5 failed%6"_s
                          .arg(QString(filled, u'#'), QString(Width - filled, u'.'))
                          .arg(done)
                          .arg(m_total)
                          .arg(m_failed)
                          .arg(done == m_total ? u"\n"_s : QString()));
    }

private:
    static constexpr int RedrawMs = 100;
    qsizetype m_total;
    qsizetype m_failed = 0;
    bool m_terminal;
    QElapsedTimer m_shown;
};

bool writeReport(const QString &path, const QByteArray &report)
{
    if (path.isEmpty())
        return true;
    if (path == u"-") {
        std::fwrite(report.constData(), 1, size_t(report.size()), stdout);
        return std::fflush(stdout) == 0;
    }
    QString error;
    if (kalveno::replaceFile(path, report, &error))
        return true;
    complain(u"cannot write %1: %2"_s.arg(path, error));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    kalveno::cli::ignoreBrokenPipes();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"kalveno-check"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(KALVENO_VERSION));

    QCommandLineParser parser;
    addOptions(&parser);
    Options options;
    QString error;
    if (!kalveno::cli::parse(parser, &error) || !readOptions(parser, &options, &error) ||
        !canWriteBeside(options.jsonPath, &error) || !canWriteBeside(options.junitPath, &error)) {
        complain(error + u" (see --help)"_s);
        return 2;
    }
    if (!options.logDir.isEmpty() && !QDir().mkpath(options.logDir)) {
        complain(u"cannot make the log folder %1"_s.arg(options.logDir));
        return 2;
    }
    if (const int jobs = allowedJobs(options.jobs); jobs < options.jobs) {
        complain(u"%1 jobs need more descriptors than this process may open; %2 at once"_s
                     .arg(options.jobs)
                     .arg(jobs));
        options.jobs = jobs;
    }

    SiteCheck site(options);
    Progress progress(options.bridges.size());
    QObject::connect(&site, &SiteCheck::progressed, &app,
                     [&progress](qsizetype done, const BridgeResult &bridge) {
                         progress.bridgeDone(done, bridge);
                     });
    QObject::connect(&site, &SiteCheck::logFailed, &app,
                     [](const QString &message) { complain(u"no log: "_s + message); });
    QObject::connect(&site, &SiteCheck::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    site.start();
    QCoreApplication::exec();

    const SiteResult &result = site.result();
    bool written = true;
    if (options.jsonPath != u"-" && options.junitPath != u"-")
        written = writeReport(u"-"_s, table(result, options.steps));
    written = writeReport(options.jsonPath, json(result)) && written;
    written = writeReport(options.junitPath, junit(result)) && written;
    if (!written)
        return 2;
    return result.passed() == result.bridges.size() ? 0 : 1;
}
