// What a terminal box costs as it fills. A box must append at the cost of the chunk, paint at the
// cost of what is visible, and hold about one byte of memory per byte of text, whatever the text
// looks like. Prints, for a box of the serial terminal's size (226 x 130 pixels):
//   - the cost of appending a 64 KiB chunk to a box holding 0 bytes, 1 MiB and 16 MiB, for
//     80-character lines, one line without breaks, CR and LF only, and all 256 byte values
//     (mean and longest call, and the longest repaint that followed);
//   - the longest single event while 4 MB of CR and LF arrive in 64 KiB chunks, and while 8 MB
//     are pasted with Ctrl+V: the window answers no sooner than that;
//   - resident memory per byte held, after 32 MiB of lines with no bound, and after 64 MiB with
//     the 16 MiB bound.
// Each part runs in a process of its own, so that one part's freed memory does not hide or
// inflate another's. Costs are the thread's CPU time, which other processes on a shared machine
// do not inflate; the longest events are given in wall-clock time as well.
#include "widgets/terminalbox.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <unistd.h>

using kalveno::TerminalBox;

namespace {

qint64 cpuNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

constexpr qsizetype Chunk = 64 * 1024;
constexpr qsizetype MiB = 1024 * 1024;
constexpr qsizetype Bound = 16 * MiB;

// Times every event handed out by the event loop, outermost only, and keeps the longest.
class TimedApplication final : public QApplication
{
    Q_DISABLE_COPY_MOVE(TimedApplication)

public:
    using QApplication::QApplication;
    ~TimedApplication() override = default;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu = cpuNanoseconds();
        const int type = event->type();
        const bool result = QApplication::notify(receiver, event);
        m_longestWall = qMax(m_longestWall, timer.nsecsElapsed());
        const qint64 used = cpuNanoseconds() - cpu;
        if (used > m_longestCpu) {
            m_longestCpu = used;
            m_longestType = type;
        }
        --m_depth;
        return result;
    }
    void resetLongest() { m_longestWall = m_longestCpu = 0; }
    void printLongest() const
    {
        std::printf("longest event %.1f ms CPU (type %d), %.1f ms wall", m_longestCpu / 1e6,
                    m_longestType, m_longestWall / 1e6);
    }

private:
    int m_depth = 0;
    qint64 m_longestWall = 0;
    qint64 m_longestCpu = 0;
    int m_longestType = 0;
};

enum class Kind { Lines, OneLine, CrLf, AllBytes };

// Deterministic text of each kind; the same call gives the same bytes.
QByteArray text(Kind kind, qsizetype size)
{
    QByteArray t;
    t.reserve(size);
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    switch (kind) {
    case Kind::Lines:
        for (int n = 0; t.size() < size; ++n)
            t += QByteArray::number(n).rightJustified(8, '0') + ' ' + QByteArray(69, 'x') + "\r\n";
        break;
    case Kind::OneLine:
        for (qsizetype i = 0; i < size; ++i)
            t += char('a' + i % 26);
        break;
    case Kind::CrLf:
        for (qsizetype i = 0; i < size; ++i)
            t += (next() & 1) ? '\r' : '\n';
        break;
    case Kind::AllBytes:
        for (qsizetype i = 0; i < size; ++i)
            t += char(next() & 0xff);
        break;
    }
    t.truncate(size);
    return t;
}

qsizetype residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

void showBox(TerminalBox &box)
{
    box.resize(226, 130);
    box.show();
    QCoreApplication::processEvents();
}

void appendCosts()
{
    const std::pair<Kind, const char *> kinds[] = {{Kind::Lines, "80-character lines"},
                                                   {Kind::OneLine, "one line, no breaks"},
                                                   {Kind::CrLf, "CR and LF only"},
                                                   {Kind::AllBytes, "all 256 values"}};
    constexpr int Appends = 32;
    std::printf("append of 64 KiB, us of CPU: mean / longest call, longest repaint after it\n");
    std::printf("%-21s %-28s %-28s %-28s\n", "held:", "0", "1 MiB", "16 MiB (bound 16 MiB)");
    for (const auto &[kind, name] : kinds) {
        std::printf("%-21s", name);
        const QByteArray all = text(kind, Bound + Appends * Chunk);
        for (const qsizetype held : {qsizetype(0), MiB, Bound}) {
            TerminalBox box;
            box.setByteLimit(Bound);
            showBox(box);
            box.setBytes(all.left(held));
            QCoreApplication::processEvents();
            qint64 total = 0;
            qint64 longest = 0;
            qint64 longestPaint = 0;
            for (int i = 0; i < Appends; ++i) {
                const qint64 start = cpuNanoseconds();
                box.append(QByteArrayView(all).sliced(held + i * Chunk, Chunk));
                const qint64 appended = cpuNanoseconds();
                box.viewport()->repaint();
                total += appended - start;
                longest = qMax(longest, appended - start);
                longestPaint = qMax(longestPaint, cpuNanoseconds() - appended);
            }
            std::printf(" %8.0f / %8.0f, %8.0f", total / 1e3 / Appends, longest / 1e3,
                        longestPaint / 1e3);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
}

void flood(TimedApplication &app)
{
    TerminalBox box;
    box.setByteLimit(Bound);
    showBox(box);
    const QByteArray data = text(Kind::CrLf, 4 * 1000 * 1000);
    QEventLoop loop;
    qsizetype at = 0;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, &box, [&] {
        box.append(QByteArrayView(data).sliced(at, qMin(Chunk, data.size() - at)));
        at += Chunk;
        if (at >= data.size())
            loop.quit();
    });
    app.resetLongest();
    QElapsedTimer timer;
    timer.start();
    feeder.start(0);
    loop.exec();
    const double totalMs = timer.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();
    std::printf("flood of 4 MB of CR and LF in 64 KiB chunks: ");
    app.printLongest();
    std::printf(", %.0f ms wall in all\n", totalMs);
}

void paste(TimedApplication &app)
{
    TerminalBox box;
    box.setByteLimit(Bound);
    showBox(box);
    box.activateWindow();
    box.setFocus();
    QApplication::clipboard()->setText(QString::fromLatin1(text(Kind::Lines, 8 * 1000 * 1000)));
    QCoreApplication::processEvents();
    app.resetLongest();
    QCoreApplication::postEvent(&box, new QKeyEvent(QEvent::KeyPress, Qt::Key_V,
                                                    Qt::ControlModifier, QStringLiteral("\x16")));
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("paste of 8 MB with Ctrl+V: %lld bytes held, ", qlonglong(box.length()));
    app.printLongest();
    std::printf("\n");
}

void memory(qsizetype fed, qsizetype bound)
{
    TerminalBox box;
    box.setByteLimit(bound);
    showBox(box);
    const QByteArray data = text(Kind::Lines, 32 * MiB);
    const qsizetype before = residentBytes();
    for (qsizetype at = 0; at < fed; at += Chunk) {
        box.append(QByteArrayView(data).sliced(at % data.size(), Chunk));
        QCoreApplication::processEvents();
    }
    const qsizetype grown = residentBytes() - before;
    std::printf("resident memory after %lld MiB of lines%s: %.1f MiB for %.1f MiB held, "
                "%.2f bytes per byte\n",
                qlonglong(fed / MiB), bound ? " with the 16 MiB bound" : "", double(grown) / MiB,
                double(box.length()) / MiB, double(grown) / double(box.length()));
}

} // namespace

int main(int argc, char **argv)
{
    TimedApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString part = args.size() > 1 ? args[1] : QString();
    if (part == u"append")
        appendCosts();
    else if (part == u"flood")
        flood(app);
    else if (part == u"paste")
        paste(app);
    else if (part == u"memory")
        memory(32 * MiB, 0);
    else if (part == u"memory-bound")
        memory(64 * MiB, Bound);
    else {
        for (const char *p : {"append", "flood", "paste", "memory", "memory-bound"}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(p)});
            child.waitForFinished(-1);
        }
    }
    return 0;
}
