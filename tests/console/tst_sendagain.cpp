#include "platform/trafficrecord.h"
#include "protocol/logline.h"
#include "support/console.h"
#include "traffic/logfile.h"
#include "traffic/trafficmodel.h"
#include "traffic/trafficwindow.h"

#include <QElapsedTimer>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

const QDateTime Start(QDate(2026, 12, 7), QTime(14, 3, 9, 0), Qt::OffsetFromUTC, 3600);

// What the record holds as sent again, in order.
QStringList sentAgain(const TrafficRecord &record)
{
    QStringList notes;
    for (qint64 s = record.first(); s < record.end(); ++s) {
        const TrafficEntry &entry = record.at(s);
        if (entry.note.startsWith(u"sent again"))
            notes << entry.link + u' ' + QString::fromLatin1(entry.bytes) + u' ' + entry.note;
    }
    return notes;
}

// A log of rows on these links and others, 400 ms from the first to the last. The rows of
// another port than the one connected, and those not sent, stay.
QString writeLog(const QTemporaryDir &dir, const QByteArray &tcp)
{
    const auto line = [](qint64 ms, const QByteArray &link, Direction direction,
                         const QByteArray &bytes) {
        return logline::format(
                   {Start.addMSecs(ms), QString::fromLatin1(link), direction, bytes, u"it"_s}) +
               '\n';
    };
    using D = Direction;
    const QString path = dir.filePath(u"session.log"_s);
    TemporaryConfig::write(path, line(0, tcp, D::Sent, "A") + line(10, tcp, D::Received, "x") +
                                     line(100, "UDP", D::Sent, "B") +
                                     line(200, "COM1", D::Sent, "C") +
                                     line(250, "TCP 1", D::Sent, "D") +
                                     line(300, tcp, D::Event, {}) + line(400, tcp, D::Sent, "E"));
    return path;
}

// Selects every row the window shows, the last first, and sends the sent ones again; stopped
// once the first has gone, if asked. The summary at the end.
QString sendAll(TrafficWindow &window, bool keepGaps, bool stop = false)
{
    if (!QTest::qWaitFor([&] { return window.model().isCurrent(); }))
        return u"not shown"_s;
    for (QTableView *table : window.findChildren<QTableView *>()) {
        for (int row = window.model().rowCount() - 1; table->model() == &window.model() && row >= 0;
             --row)
            table->selectionModel()->select(window.model().index(row, 0),
                                            QItemSelectionModel::Select |
                                                QItemSelectionModel::Rows);
    }
    QSignalSpy done(window.resender(), &Resender::finished);
    QSignalSpy progress(window.resender(), &Resender::progress);
    window.sendAgain(keepGaps);
    if (stop && progress.wait(5000))
        window.resender()->stop();
    return !done.isEmpty() || done.wait(5000) ? done.constFirst().constFirst().toString()
                                              : window.statusBar()->currentMessage();
}

} // namespace

// "Send again" in the traffic views: the sent rows of a saved log or of the live record go out
// again on the console's links, in order, at once or with their recorded gaps, and the record
// shows them as sent again.
class TestSendAgain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void fromALog_data()
    {
        QTest::addColumn<bool>("keepGaps");
        QTest::addColumn<bool>("stop"); // once the first row has gone
        QTest::newRow("at once") << false << false;
        QTest::newRow("with the recorded gaps") << true << false;
        QTest::newRow("stopped before the first gap") << true << true;
    }

    void fromALog()
    {
        QFETCH(bool, keepGaps);
        QFETCH(bool, stop);
        Rig rig;
        QVERIFY(rig.connect());
        const QByteArray tcp = rig.tcp.linkName().toLatin1();
        QTemporaryDir dir;
        QString error;
        TrafficWindow window(LogFile::open(writeLog(dir, tcp), &error));
        window.setLinks(&rig.resendLinks);
        window.show();
        QElapsedTimer clock;
        clock.start();
        if (stop) {
            QCOMPARE(sendAll(window, true, true), u"stopped: 1 row sent again, 5 left"_s);
            QCOMPARE(rig.bridge.read(2, 500), QByteArray("A"));
            return;
        }
        QCOMPARE(sendAll(window, keepGaps), u"4 rows sent again, 1 not sent: TCP 1 is not up"_s);
        // The gaps between the rows sent: 400 ms from the first to the last.
        QVERIFY(!keepGaps || clock.elapsed() >= 400);
        QCOMPARE(rig.bridge.read(2), QByteArray("AE"));
        QCOMPARE(rig.broadcasts.next(), QByteArray("B"));
        QCOMPARE(rig.line.read(1), QByteArray("C"));
        const QString note = u"sent again (first sent 2026-12-07 14:03:09.%1): it"_s;
        QCOMPARE(sentAgain(rig.record),
                 QStringList({QString::fromLatin1(tcp) + u" A "_s + note.arg(u"000"_s),
                              u"UDP B "_s + note.arg(u"100"_s), u"COM1 C "_s + note.arg(u"200"_s),
                              QString::fromLatin1(tcp) + u" E "_s + note.arg(u"400"_s)}));
    }

    // Live, what the record holds; down, the link takes nothing, and the view says so.
    void fromTheRecord()
    {
        Rig rig;
        QVERIFY(rig.connect());
        TrafficWindow window(rig.record);
        window.setLinks(&rig.resendLinks);
        window.show();
        QVERIFY(rig.tcp.sendData("ping"));
        QCOMPARE(rig.bridge.read(4), QByteArray("ping"));
        QCOMPARE(sendAll(window, false), u"1 row sent again"_s);
        QCOMPARE(rig.bridge.read(4), QByteArray("ping"));
        rig.tcp.close();
        rig.tcpLink.setDown(u"closed"_s);
        QCOMPARE(sendAll(window, false).section(u':', 0, 0), u"0 rows sent again, 2 not sent"_s);
    }
};

QTEST_MAIN(TestSendAgain)
#include "tst_sendagain.moc"
