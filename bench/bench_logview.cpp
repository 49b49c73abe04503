// What a saved log costs the viewer to open, in a traffic window offscreen: how long until its
// first rows show, the resident memory then, and, once the whole file has been read, the rows,
// the time and the peak. Three files: 2 GiB without a line end, a real session log of 1 GiB
// (small serial chunks, 64 KiB TCP chunks and events, as the console writes them), and 100 MB of
// line feeds. Each is opened in a process of its own, so that the peaks are its own; reading a
// file is given three minutes at most. Arguments: a folder for the files (a temporary one by
// default; they are removed at the end), and a word that the files to open must have in their
// description (all by default).
#include "measure.h"
#include "platform/trafficrecord.h"
#include "protocol/logline.h"
#include "traffic/logfile.h"
#include "traffic/trafficmodel.h"
#include "traffic/trafficwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalveno;
using namespace kalveno::bench;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr int ReadLimitMs = 180000;

bool fill(const QString &path, const QByteArray &block, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (qint64 written = 0; written < size;) {
        const qint64 n = qMin<qint64>(block.size(), size - written);
        if (file.write(block.constData(), n) != n)
            return false;
        written += n;
    }
    return true;
}

// Lines of a day on a chatty serial line with a TCP flood now and then: in every thousand lines
// an event, a 64 KiB chunk and small chunks with their meanings, as the console writes them.
QByteArray sessionLines()
{
    QByteArray text;
    QDateTime time(QDate(2026, 12, 7), QTime(14, 3, 9), Qt::OffsetFromUTC, 3600);
    TrafficEntry entry;
    for (int i = 0; text.size() < 64 * MiB; ++i) {
        time = time.addMSecs(10);
        if (i % 1000 == 0) {
            entry.link = u"TCP 1024"_s;
            entry.direction = Direction::Event;
            entry.bytes.clear();
            entry.note = u"connected to 192.168.1.50:1024"_s;
        } else if (i % 1000 == 1) {
            entry.link = u"TCP 1024"_s;
            entry.direction = Direction::Received;
            entry.bytes = QByteArray(64 * 1024, char('A' + i % 26));
            entry.note.clear();
        } else {
            entry.link = u"COM1"_s;
            entry.direction = Direction::Received;
            entry.bytes = QByteArray::number(i).rightJustified(18, '0') + "\r\n";
            entry.note.clear();
        }
        text += logline::format(lineOf(entry, time));
        text += '\n';
    }
    return text;
}

int open(const char *label, const QString &path, int argc, char **argv)
{
    QApplication app(argc, argv);
    const double before = residentMiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    QString error;
    std::unique_ptr<LogFile> log = LogFile::open(path, &error);
    if (!log) {
        std::printf("%-30s cannot be opened: %s\n", label, qPrintable(error));
        return 1;
    }
    TrafficWindow window(std::move(log));
    TrafficModel &model = window.model();
    qint64 firstMs = -1;
    qint64 lastMs = 0;
    double firstRss = 0;
    QEventLoop loop;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &loop, [&] {
        lastMs = clock.elapsed();
        if (firstMs < 0) {
            firstMs = lastMs;
            firstRss = residentMiB("VmHWM:");
        }
    });
    // Done when the whole file is read, or when the view has stopped taking rows in.
    QTimer quiet;
    quiet.setSingleShot(true);
    QObject::connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&model, &TrafficModel::updated, &loop, [&] {
        if (model.isCurrent())
            loop.quit();
        quiet.start(3000);
    });
    QTimer::singleShot(ReadLimitMs, &loop, &QEventLoop::quit);
    window.show();
    loop.exec();
    std::printf("%-26s first rows after %5lld ms, peak %6.1f MiB then; %s, %10d rows after %5.1f "
                "s, peak %7.1f MiB (%.1f before opening)\n",
                label, firstMs, firstRss,
                model.isCurrent()                ? "all read"
                : clock.elapsed() >= ReadLimitMs ? "reading"
                                                 : "stopped",
                model.rowCount(), lastMs / 1000.0, residentMiB("VmHWM:"), before);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--open") == 0)
        return open(argv[2], QString::fromLocal8Bit(argv[3]), argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const struct
    {
        const char *label;
        const char *name;
        QByteArray (*block)();
        qint64 size;
    } files[] = {
        {"2 GiB without a line end", "no-line-end.log", [] { return QByteArray(MiB, 'x'); },
         2048 * MiB},
        {"1 GiB session log", "session.log", sessionLines, 1024 * MiB},
        {"100 MB of line feeds", "line-feeds.log", [] { return QByteArray(MiB, '\n'); },
         100 * 1000 * 1000},
    };
    const char *only = argc > 2 ? argv[2] : "";
    for (const auto &file : files) {
        if (!std::strstr(file.label, only))
            continue;
        const QString path = folder + u'/' + QString::fromLatin1(file.name);
        if (!fill(path, file.block(), file.size)) {
            std::printf("%s: cannot write %s\n", file.label, qPrintable(path));
            return 1;
        }
        std::fflush(stdout);
        // A fresh program, so that the memory of this one is not counted in its figures.
        const pid_t child = fork();
        if (child == 0) {
            const QByteArray local = path.toLocal8Bit();
            execl("/proc/self/exe", argv[0], "--open", file.label, local.constData(), nullptr);
            _exit(127);
        }
        waitpid(child, nullptr, 0);
        QFile::remove(path);
    }
    return 0;
}
