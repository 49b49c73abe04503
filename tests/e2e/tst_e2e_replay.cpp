#include "stack.h"

#include "widgets/look.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// The console's session files, in the order they were written.
QStringList sessionFiles()
{
    QStringList files;
    for (const QFileInfo &info :
         QDir(qEnvironmentVariable("XDG_STATE_HOME") + u"/kalveno/sessions"_s)
             .entryInfoList({u"*.log"_s}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    return files;
}

// Everything the console received, per link, in order; the lines read apart from the replay.
QMap<QString, QByteArray> received(const QStringList &files)
{
    QMap<QString, QByteArray> links;
    for (const QString &file : files) {
        QFile log(file);
        log.open(QIODevice::ReadOnly);
        for (const QByteArray &text : log.readAll().split('\n')) {
            const std::optional<logline::Line> line = logline::parse(text);
            if (line && line->direction == Direction::Received)
                links[line->link] += line->bytes;
        }
    }
    return links;
}

bool waitForReceived(const QString &link, qsizetype count)
{
    return QTest::qWaitFor([&] { return received(sessionFiles()).value(link).size() >= count; },
                           30000);
}

// One session over every link, the same whether the bridge is the simulator's firmware or a
// replay of it: the console asks for input status on TCP, the serial line and UDP and sends a
// turnstile command; the bridge reports an input's change on TCP and the line by itself, then
// drops the connection; the console tells the bridges where it is, connects again and asks
// again. `tell` is the bridge's part when it runs its firmware.
void runSession(Stack &stack, bool tell)
{
    QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
    QVERIFY(stack.waitForColour(u"INP_COMM_NO"_s, VERT));
    qsizetype mark = stack.log().size();
    QVERIFY(stack.click(u"B_STATUS"_s));
    QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, framed("\xDE")));
    QVERIFY(stack.click(u"B_T_PASSAGE"_s));
    QVERIFY(stack.waitForReceived(u"TCP 1024"_s, mark, "><IP0501"));
    QVERIFY(stack.click(u"SW_SEND_VIA(2)"_s));
    QVERIFY(stack.click(u"B_STATUS2"_s));
    QVERIFY(stack.waitForReceived(u"serial"_s, mark, framed("\xDF")));
    QVERIFY(stack.click(u"SW_SEND_VIA(1)"_s));
    QVERIFY(stack.click(u"B_STATUS"_s));
    QVERIFY(stack.waitForReceived(u"UDP"_s, mark, framed("\xDE")));
    if (tell)
        stack.tell(u"input 1 on"_s);
    QVERIFY(waitForReceived(u"TCP 1024"_s, 2));
    QVERIFY(waitForReceived(u"COM1"_s, 2));
    mark = stack.log().size();
    if (tell)
        stack.tell(u"drop"_s);
    QVERIFY(stack.waitForReceived(u"UDP"_s, mark,
                                  "\xFE\xFF\x06"
                                  "127.0.0.1"));
    QVERIFY(stack.waitForLog(u"connected"_s, mark));
    QVERIFY(stack.waitForColour(u"INP_IP_ADR"_s, VERT));
    QVERIFY(stack.click(u"SW_SEND_VIA(0)"_s));
    QVERIFY(stack.click(u"B_STATUS"_s));
    QVERIFY(waitForReceived(u"TCP 1024"_s, 3));
    QVERIFY(stack.desktop().closeWindow(stack.windowId()));
    QVERIFY(stack.console().waitForFinished(10000));
}

} // namespace

// A field session replayed at the desk: the simulator plays the bridge of a console's session
// log for a fresh console.
class TestEndToEndReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The first session, with the simulator's firmware; its console's log and the simulator's
    // are kept.
    void initTestCase()
    {
        QVERIFY(insidePrivateNetwork());
        QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
        Stack stack;
        QVERIFY(stack.start());
        runSession(stack, true);
        QVERIFY(!QTest::currentTestFailed());
        for (const QString &file : sessionFiles()) {
            m_consoleLog << m_kept.filePath(QFileInfo(file).fileName());
            QVERIFY(QFile::copy(file, m_consoleLog.last()));
        }
        QVERIFY(QFile::copy(stack.config().folder() + u"/simulator.log"_s,
                            m_kept.filePath(u"simulator.log"_s)));
        m_first = received(m_consoleLog);
        QCOMPARE(m_first.keys(), QStringList({u"COM1"_s, u"TCP 1024"_s, u"UDP"_s}));
    }

    void sessionReplayed_data()
    {
        QTest::addColumn<bool>("console"); // the console's log, else the simulator's
        QTest::newRow("the console's log") << true;
        QTest::newRow("the simulator's log") << false;
    }

    // The same session again, against the replay of the first one's log: the console receives
    // the same bytes on every link, in the same order, and the replay meets no divergence. The
    // replay runs at a quarter of the speed, so that what the bridge does unasked (the input's
    // change, the drop, timed on their own links) comes after the console's steps on the other
    // links that came before it in the first session, however the two sessions' pace differs.
    void sessionReplayed()
    {
        QFETCH(bool, console);
        Stack stack;
        QVERIFY(stack.start(
            QStringList{u"--replay-speed"_s, u"0.25"_s, u"--replay"_s} +
            (console ? m_consoleLog : QStringList{m_kept.filePath(u"simulator.log"_s)})));
        runSession(stack, false);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(stack.waitForLog(u"replay finished: "_s));
        for (const logline::Line &line : stack.log())
            QVERIFY2(!line.meaning.startsWith(u"replay: divergence"_s), qPrintable(line.meaning));
        QCOMPARE(received(sessionFiles()), m_first);
    }

private:
    QTemporaryDir m_kept;
    QStringList m_consoleLog;
    QMap<QString, QByteArray> m_first;
};

QTEST_MAIN(TestEndToEndReplay)
#include "tst_e2e_replay.moc"
