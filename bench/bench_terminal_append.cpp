// How much one append to a terminal box costs as the box fills: the append must cost the size
// of the chunk, not the size of the text. Prints microseconds per append of a 1 KB chunk to a
// box holding 0 bytes, 1 MB and 10 MB, for text in 80-character lines and for text without a
// single line break (one paragraph, the worst case for the text layout).
#include "widgets/terminalbox.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

using kalveno::TerminalBox;

namespace {

QByteArray lines(qsizetype size)
{
    QByteArray line(78, 'x');
    line += "\r\n";
    QByteArray text;
    text.reserve(size);
    while (text.size() < size)
        text += line;
    text.truncate(size);
    return text;
}

double microsecondsPerAppend(TerminalBox &box, const QByteArray &chunk, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        box.append(chunk);
        QCoreApplication::processEvents();
    }
    return double(timer.nsecsElapsed()) / 1000.0 / count;
}

void measure(const char *kind, bool withLineBreaks)
{
    const QByteArray chunk = withLineBreaks ? lines(1024) : QByteArray(1024, 'y');
    std::printf("%-22s", kind);
    for (const qsizetype filled : {qsizetype(0), qsizetype(1) << 20, qsizetype(10) << 20}) {
        TerminalBox box;
        box.resize(226, 130);
        box.show();
        QElapsedTimer fill;
        fill.start();
        box.append(withLineBreaks ? lines(filled) : QByteArray(filled, 'y'));
        QCoreApplication::processEvents();
        const double fillMs = fill.nsecsElapsed() / 1e6;
        const double us = microsecondsPerAppend(box, chunk, 200);
        std::printf("  %9.1f us (fill %6.0f ms)", us, fillMs);
        std::fflush(stdout);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::printf("append of 1 KB to a box holding:   0 bytes                        1 MB"
                "                           10 MB\n");
    measure("80-character lines", true);
    measure("one long line", false);
    return 0;
}
