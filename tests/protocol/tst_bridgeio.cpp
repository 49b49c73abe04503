#include "protocol/bridgeio.h"

#include <QTest>

namespace bridgeio = kalveno::bridgeio;

class TestBridgeIo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameIsNotEscaped();
    void outOfRangeGivesNothing();
};

void TestBridgeIo::frameIsNotEscaped()
{
    QCOMPARE(bridgeio::frame(QByteArray("\x02\x03", 2)),
             QByteArray("\xFE\xF8\x08\x02\x02\x03\x03"));
    QCOMPARE(bridgeio::frame({}), QByteArray("\xFE\xF8\x08\x02\x03"));
    QCOMPARE(bridgeio::frame(QByteArray(300, 'x')).size(), 305);
    QCOMPARE(bridgeio::reconnectBroadcast({}), QByteArray("\xFE\xFF\x06"));
}

void TestBridgeIo::outOfRangeGivesNothing()
{
    for (int n : {0, 5, -1}) {
        QVERIFY(bridgeio::outputSwitch(n, true).isEmpty());
        QVERIFY(bridgeio::outputTwoSeconds(n).isEmpty());
        QVERIFY(bridgeio::outputPulse(n).isEmpty());
    }
    QVERIFY(bridgeio::inputStatusRequest(3).isEmpty());
    QCOMPARE(bridgeio::inputStatusRequest(2), QByteArray("\xDF"));
}

QTEST_APPLESS_MAIN(TestBridgeIo)
#include "tst_bridgeio.moc"
