#include "protocol/bridgeio.h"
#include "protocol/textcommand.h"
#include "protocol/turnstile.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace bridgeio = kalveno::bridgeio;
namespace textcommand = kalveno::textcommand;
namespace turnstile = kalveno::turnstile;

namespace {

// What the simulator carries out for a command the grammar does not refuse, in a few words.
QString acts(const textcommand::Command &c)
{
    using textcommand::Kind;
    const auto text = [](const QByteArray &bytes) { return QString::fromLatin1(bytes); };
    if (c.isRefused())
        return {};
    if (c.kind == Kind::Output && c.action != textcommand::Action::Timed)
        return u"output %1 %2"_s.arg(c.output).arg(c.action == textcommand::Action::On ? u"on"
                                                                                       : u"off");
    if (c.kind == Kind::Output || c.kind == Kind::Batch)
        return u"output %1 for %2 ms"_s.arg(c.output).arg(c.durationMs);
    if (c.kind == Kind::Passage || c.kind == Kind::ValidationTimeout)
        return u"%1 s, %2"_s.arg(c.seconds).arg(c.count);
    if (c.kind == Kind::WriteConfig)
        return u"polling %1, %2|%3|%4"_s.arg(QLatin1Char(c.polling))
            .arg(text(c.addresses[0]), text(c.addresses[1]), text(c.addresses[2]));
    return c.kind == Kind::Mode ? u"mode %1"_s.arg(c.mode) : text(c.data.toHex());
}

} // namespace

// The bridge's text commands: where each ends in a stream, what it asks for in the decoder's
// words, why the bridge refuses it, and what the simulator carries out.
class TestCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void grammar_data()
    {
        QTest::addColumn<QByteArray>("stream"); // a command at its start, maybe more after it
        QTest::addColumn<int>("end");           // where the command ends when nothing more comes
        QTest::addColumn<bool>("waits");        // whether more bytes could still change that
        QTest::addColumn<QString>("meaning");   // with "; refused: <why>" for a refused command
        QTest::addColumn<QString>("acts");
        const auto row = [](const char *name, QByteArrayView stream, int end, bool waits,
                            const QString &meaning, const QString &acts = {}) {
            QTest::newRow(name) << stream.toByteArray() << end << waits << meaning << acts;
        };
        row("arm", turnstile::ArmDrop, 5, false, u"drop the arm"_s, u"output 7 on"_s);
        row("red LED off", turnstile::RedLedOff, 5, false, u"red LED off"_s, u"output 6 off"_s);
        row("green LED for the time to pass", turnstile::autoAnswer(u"5"), 7, true,
            u"green LED on for 5 s"_s, u"output 5 for 5000 ms"_s);
        row("output pulse", bridgeio::outputPulse(3), 7, true, u"TTL 3 OUT on for .3 s"_s,
            u"output 3 for 300 ms"_s);
        row("a closing star is taken", "><T5E*><T6E", 6, false, u"green LED on"_s,
            u"output 5 on"_s);
        row("no duration", "><T5T00", 7, true,
            u"green LED on for 0 s; refused: duration must be 0.001 to 3600 seconds"_s);
        row("two points", "><T5T1.2.3", 10, true,
            u"unknown command \"><T5T1.2.3\"; refused: duration must be 0.001 to 3600 seconds"_s);
        row("output 8", "><T8E", 5, true,
            u"unknown command \"><T8E\"; refused: output number must be 1 to 7"_s);
        row("refused: taken up to a line end", "><T5X-9\r\nx", 7, false,
            u"unknown command \"><T5X-9\"; refused: action must be E, D or T<seconds>"_s);

        row("passage", turnstile::passage(u"5", u"1"), 8, true, u"passage: 1 person, 5 s"_s,
            u"5 s, 1"_s);
        row("passage of persons, digits end it", "><IP1203-x", 8, false,
            u"passage: 3 persons, 12 s"_s, u"12 s, 3"_s);
        row("seconds and cards run together", turnstile::validationTimeout(u"150", u"3"), 9, true,
            u"validation time-out and cards run together: 15003"_s, u"150 s, 3"_s);
        row("validation time-out", "><IT0301*", 9, false,
            u"validation time-out 3 s, 1 card before offline"_s, u"3 s, 1"_s);
        row("negative persons, taken whole", turnstile::passage(u"5", u"-1"), 9, true,
            u"passage, seconds and persons run together: 05-01; refused: expected two numbers "
            "of two or more digits"_s);
        row("two digits, then text", "><IP05x", 7, true,
            u"unknown command \"><IP05x\"; refused: expected two numbers of two or more digits"_s);
        row("mode", turnstile::mode(turnstile::modes().at(4)), 5, false, u"mode 4 - Free tst"_s,
            u"mode 4"_s);
        row("mode 0", "><IM0", 5, false, u"mode 0 - Normal"_s, u"mode 0"_s);
        row("mode 6", "><IM6", 5, true,
            u"mode \"6\", not in the list; refused: mode must be one digit 0 to 5"_s);
        row("star as the mode", "><IM*", 5, false,
            u"mode \"*\", not in the list; refused: mode must be one digit 0 to 5"_s);
        row("mode cut short", "><IM", 4, true,
            u"mode command without a mode; refused: mode must be one digit 0 to 5"_s);
        row("mode without its digit, then a command", "><IM><IR?", 4, false,
            u"mode command without a mode; refused: mode must be one digit 0 to 5"_s);
        row("direct command", turnstile::directCommand(), 80, false,
            u"direct command, 74 data bytes"_s,
            QString::fromLatin1(turnstile::directCommand().sliced(6).toHex()));
        row("direct command carries any byte", QByteArrayView("><ID03\x01*\xFFrest", 13), 9, false,
            u"direct command, 3 data bytes"_s, u"012aff"_s);
        row("a star as the last data byte", "><ID01*", 7, false, u"direct command, 1 data byte"_s,
            u"2a"_s);
        row("direct command cut short", "><ID03\xB6\xB7", 8, true,
            u"direct command cut short, 2 of 3 data bytes; refused: direct command length does "
            "not match its data"_s);

        row("configuration request", turnstile::ReadConfigRequest, 5, false,
            u"configuration request"_s);
        row("configuration write",
            turnstile::writeConfig(u"1- Polling ON", {u"10.0.0.2"_s, u" 10.0.0.3 "_s, {}}), 26,
            false,
            u"configuration write: polling on, remote antenna 2 at 10.0.0.2, remote antenna 3 at "
            "10.0.0.3, remote antenna 4 without an address"_s,
            u"polling 1, 10.0.0.2|10.0.0.3|"_s);
        row("write with the console's first polling text",
            turnstile::writeConfig(u"Polling setup", {}), 10, false,
            u"configuration write: polling \"P\", not a choice, remote antenna 2 without an "
            "address, remote antenna 3 without an address, remote antenna 4 without an address; "
            "refused: polling must be 0, 1 or 2"_s);
        row("write with a bad address", "><IR,2,10.0.0.256,,*", 20, false,
            u"configuration write: reader rfidea, remote antenna 2 at 10.0.0.256, remote antenna "
            "3 without an address, remote antenna 4 without an address; refused: remote antenna "
            "2 address is not an IPv4 address"_s);
        row("write with a three-part address", "><IR,0,,10.0.0,*", 16, false,
            u"configuration write: polling off, remote antenna 2 without an address, remote "
            "antenna 3 at 10.0.0, remote antenna 4 without an address; refused: remote antenna 3 "
            "address is not an IPv4 address"_s);
        row("write without its star", "><IR,1x,,x,y,", 13, true,
            u"configuration write: polling \"1x\", not a choice, remote antenna 2 without an "
            "address, remote antenna 3 at x, remote antenna 4 at y, 1 extra field, no closing *; "
            "refused: configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
        row("refused write ends at a line end", "><IR,3,a\r\nb,c*", 8, false,
            u"configuration write: polling \"3\", not a choice, remote antenna 2 at a, remote "
            "antenna 3 missing, "
            "remote antenna 4 missing, no closing *; refused: configuration must be "
            "><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
        // The longest command is 160 characters before its star: read whole, refused on its own
        // account; one more, and it is refused for its length.
        const QString cut = u"configuration write: polling on, remote antenna 2 at "
                            "111111111111111111111111..., remote antenna 3 missing, remote "
                            "antenna 4 missing; refused: "_s;
        row("longest", "><IR,1," + QByteArray(153, '1') + "*", 161, false,
            cut + u"configuration must be ><IR,<polling>,<ip2>,<ip3>,<ip4>*"_s);
        row("one longer", "><IR,1," + QByteArray(154, '1') + "*", 162, false, cut + u"too long"_s);
        row("too long", "><IR,1," + QByteArray(200, '1') + "*", 208, false,
            u"configuration write: polling on, remote antenna 2 at 111111111111111111111111..., "
            "remote antenna 3 missing, remote antenna 4 missing; refused: too long"_s);

        row("batch on", bridgeio::BatchOn, 17, true, u"batch on"_s, u"output 0 for 4000 ms"_s);
        row("batch off", bridgeio::BatchOff, 17, true, u"batch off"_s, u"output 0 for 0 ms"_s);
        row("batch of four fields", "><B,3,1,2,3\r\n", 11, false,
            u"unknown command \"><B,3,1,2,3\"; refused: batch must be "
            "><B,<on>,<f1>,<f2>,<f3>,<f4>"_s);
        row("acknowledgement", turnstile::RedLedThreeSecondsOk, 9, true,
            u"OK, red LED on for 3 s"_s, u"output 6 for 3000 ms"_s);
        row("unknown family ends before the next command's OK", "><ZfooOK><T5E", 6, false,
            u"unknown command \"><Zfoo\"; refused: unknown command family"_s);
        row("unknown setting", "><IX12*", 7, false,
            u"unknown command \"><IX12\"; refused: unknown setting"_s);
        row("start alone", "><", 2, true, u"unknown command \"><\"; refused: not a command"_s);
    }

    void grammar()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, end);
        QFETCH(bool, waits);
        QFETCH(QString, meaning);
        QFETCH(QString, acts);
        QVERIFY(textcommand::startsCommand(stream));
        QCOMPARE(textcommand::extent(stream), qsizetype(end));
        QCOMPARE(textcommand::extent(stream, true), qsizetype(waits ? -1 : end));
        const textcommand::Command command = textcommand::parse(stream.first(end));
        QCOMPARE(textcommand::verdict(command), meaning);
        QCOMPARE(::acts(command), acts);
    }
};

QTEST_APPLESS_MAIN(TestCommand)
#include "tst_command.moc"
