#include "support/console.h"

#include "app/settings.h"
#include "portpicker/portpickerdialog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QLockFile>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;

namespace {

// What a command control sends: the payloads of an I/O command, each framed on the link chosen,
// or the text of a turnstile command; after what the technician left ("FIELD=text", a box named
// alone ticked, a button named alone shown and enabled).
struct Command
{
    const char *control;
    QList<QByteArray> sent;
    QList<QByteArray> setup = {};
};

const Command IoCommands[] = {
    {"SW_TTL1_OUT(0)", {"\xC1"}},
    {"SW_TTL1_OUT(1)", {"\xC4"}},
    {"SW_TTL2_OUT(0)", {"\xC0"}},
    {"SW_TTL2_OUT(1)", {"\xC3"}},
    {"SW_TTL3_OUT(0)", {"\xE2"}},
    {"SW_TTL3_OUT(1)", {"\xE3"}},
    {"SW_TTL4_OUT(0)", {"\xE4"}},
    {"SW_TTL4_OUT(1)", {"\xE5"}},
    {"B_TTL1_XX", {"\xC4", "\xDC" + QByteArray("01")}},
    {"B_TTL2_XX", {"\xC3", "\xDD" + QByteArray("02")}},
    {"B_TTL3_XX", {"\xE3", "\xDE" + QByteArray("02")}},
    {"B_TTL4_XX", {"\xE5", "\xDF" + QByteArray("02")}},
    {"B_STATUS", {"\xDE"}},
    {"B_STATUS2", {"\xDF"}},
    {"TTLpXX(0)", {"><T1T.3"}},
    {"TTLpXX(1)", {"><T2T.3"}},
    {"TTLpXX(2)", {"><T3T.3"}},
    {"TTLpXX(3)", {"><T4T.3"}},
    {"Command2", {"><B,3,.1,.2,.3,.4"}},
    {"Command3", {"><B,0,00,00,00,00"}},
};

// "><ID", the length 74 of what follows, and the bytes B6 to FF.
const QByteArray Direct = "><ID74" + QByteArray::fromHex("B6B7B8B9BABBBCBDBEBFC0C1C2C3C4C5C6C7C8C9"
                                                         "CACBCCCDCECFD0D1D2D3D4D5D6D7D8D9DADBDCDD"
                                                         "DEDFE0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1"
                                                         "F2F3F4F5F6F7F8F9FAFBFCFDFEFF");

const Command TurnstileCommands[] = {
    {"B_T_BRAS_TOMBE", {"><T7E"}},
    {"B_T_DEL_R_XX", {"><T6T02"}},
    {"B_T_DEL_R_XX", {"><T6T02><T6D"}, {"SW_T_DEL_R"}},
    {"B_T_DEL_V_XX", {"><T5T02><T5D"}, {"SW_T_DEL_V"}},
    {"SW_T_DEL_V", {"><T5E"}},
    {"SW_T_DEL_V", {"><T5D"}, {"SW_T_DEL_V"}},
    {"SW_T_DEL_R", {"><T6E"}},
    {"B_T_PASSAGE", {"><IP0501"}},
    {"B_T_PASSAGE", {"><IP0012"}, {"INP_T_NB_PERSONNE=12", "INP_T_TIMEOUT="}},
    {"B_T_VALID_TIMEOUT", {"><IT0303"}},
    {"B_T_VALID_TIMEOUT", {"><IT15003"}, {"INP_T_VALID_TIMEOUT=150"}},
    {"Command4", {"><IP0500*><IP0501"}},
    {"Command5", {"><IP9900*><IP9901><T5E"}},
    {"Command6", {"OK><T6T03"}},
    {"Command1", {"><IP0100><IP0501"}, {"Command1"}},
    {"B_T_DirectCmd", {Direct}, {"B_T_DirectCmd"}},
    {"B_T_DirectCmd", {Direct + "><T6D"}, {"B_T_DirectCmd", "SW_T_DEL_R"}},
    {"B_T_RX_CFG_REMOTE", {"><IR?"}},
    {"B_T_TX_CFG_REMOTE", {"><IR,P,,,*"}},
    {"B_T_TX_CFG_REMOTE",
     {"><IR,1,10.0.0.2,10.0.0.3,10.0.0.4*"},
     {"SW_T_RFID_POLLING=1- Polling ON", "INP_T_REMOTE_IP(0)=10.0.0.2",
      "INP_T_REMOTE_IP(1)= 10.0.0.3  ", "INP_T_REMOTE_IP(2)=10.0.0.4"}},
};

QWidget *named(const Console &console, const QByteArray &name)
{
    return controlNamed(console.window->designArea(), QString::fromLatin1(name));
}

// Whether a caption shows whole in its control: beside a box's or an option's indicator, on a
// frame's caption line, or wrapped as labels and buttons draw it.
bool fits(const QWidget *w, const QString &caption)
{
    const QFontMetrics fm(w->font());
    const QStyle *style = w->style();
    const bool box = qobject_cast<const QCheckBox *>(w);
    if (box || qobject_cast<const QRadioButton *>(w)) {
        return fm.horizontalAdvance(caption) <=
               w->width() -
                   style->pixelMetric(box ? QStyle::PM_IndicatorWidth
                                          : QStyle::PM_ExclusiveIndicatorWidth) -
                   style->pixelMetric(box ? QStyle::PM_CheckBoxLabelSpacing
                                          : QStyle::PM_RadioButtonLabelSpacing);
    }
    if (qobject_cast<const QGroupBox *>(w))
        return fm.horizontalAdvance(caption) <= w->width() - 8;
    const int width = w->width() - (qobject_cast<const CaptionButton *>(w) ? 6 : 0);
    const QRect needed = fm.boundingRect(QRect(0, 0, width, 1 << 16), Qt::TextWordWrap, caption);
    return needed.height() <= qMax(w->height(), fm.height()) && needed.width() <= width;
}

int rowOf(const QTableView *table, const QString &device)
{
    const QAbstractItemModel *model = table->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, PortListModel::Device).data() == device)
            return row;
    }
    return -1;
}

QString cell(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

} // namespace

// What only the window does: its controls, its start and its end, and the wiring of every
// control to its panel.
class TestWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TcpPeer> m_bridge;
    std::unique_ptr<BroadcastListener> m_broadcasts;
    std::unique_ptr<Console> m_console;

private Q_SLOTS:
    void initTestCase() { QVERIFY(prepareConsoleTest()); }

    void inventory()
    {
        Console console;
        console.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(console.window.get()));
        const QWidget *area = console.window->designArea();
        QStringList names, outside, cut;
        for (QWidget *w : area->findChildren<QWidget *>()) {
            if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s))
                continue;
            QVERIFY2(!names.contains(w->objectName()), qPrintable(w->objectName()));
            names << w->objectName();
            // A box or an option on a frame's caption line rises above the frame's top edge.
            const QRect box = w->geometry();
            const int rise = qobject_cast<QGroupBox *>(w->parentWidget()) ? qMin(box.top(), 0) : 0;
            if (!w->parentWidget()->rect().contains(box.translated(0, -rise)))
                outside << w->objectName();
            // The LED boxes are too small for their captions by design.
            const QString caption =
                w->property(qobject_cast<QGroupBox *>(w) ? "title" : "text").toString();
            if (!qobject_cast<QLineEdit *>(w) && caption != u"Check1"_s && !fits(w, caption))
                cut << w->objectName();
        }
        // The batch frame lies below the window's first view by design.
        QCOMPARE(outside, QStringList{u"Frame8"_s});
        QVERIFY(named(console, "Frame8")->y() >= area->height());
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", "_s)));
    }

    void startUpAndShutDown()
    {
        Pty two;
        TcpPeer bridge(1024);
        Console console(configFor(" 2 ", "127.0.0.1"));
        console.config.linkPort(2, two.slavePath());
        console.window = std::make_unique<MainWindow>(ConsoleSettings{});
        MainWindow &window = *console.window;
        // Loading the address started an attempt; no timer has run yet.
        QCOMPARE(window.panels().tcp.state(), int(TcpControl::Connecting));
        auto *port = console.find<QLineEdit>("INP_COMM_NO");
        auto *address = console.find<QLineEdit>("INP_IP_ADR");
        QCOMPARE(port->text(), u"2"_s);
        QCOMPARE(window.panels().serial.device(), two.slavePath());
        // The fields' colours follow the link models.
        QVERIFY(window.serialLink().isUp());
        QCOMPARE(background(port), VERT);
        QCOMPARE(background(address), ROUGE);
        QVERIFY(bridge.accept());
        QTRY_COMPARE(background(address), VERT);
        QCOMPARE(address->toolTip(), u"connected to 127.0.0.1:1024"_s);
        // Closing ends the link and the test view, and saves the fields, once.
        address->setText(u"10.9.8.7"_s);
        window.panels().testView.show();
        QSignalSpy ended(&window, &MainWindow::ended);
        window.close();
        window.close();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(window.panels().tcp.state(), int(TcpControl::Closed));
        QVERIFY(!window.panels().testView.view());
        QCOMPARE(console.config.readConfig(), configFor(" 2 ", "10.9.8.7"));
        // The next run shows what this one saved.
        console.window = std::make_unique<MainWindow>(ConsoleSettings{});
        QCOMPARE(console.find<QLineEdit>("INP_IP_ADR")->text(), u"10.9.8.7"_s);
    }

    // A configuration file that was not read, or that cannot be replaced, is left byte for byte
    // as it was, and one not read says why at start; a missing file or folder is made again.
    void configFileAtClose_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why"); // what the status bar says at start-up
        QTest::newRow("no file")
            << u"none"_s
            << u"To begin, type the bridge's address into \"IP:\" and the serial port's number "
               "into \"COMM:\" (1 for the first)"_s;
        QTest::newRow("missing folder") << u"missing"_s << QString();
        QTest::newRow("read-only folder") << u"read-only"_s << QString();
        QTest::newRow("full folder") << u"full"_s << QString();
        QTest::newRow("named pipe") << u"fifo"_s << u"it is a named pipe, not a regular file"_s;
        QTest::newRow("17 MB") << u"large"_s << u"it holds more than 16777216 bytes"_s;
    }

    void configFileAtClose()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        TemporaryConfig config;
        const QString folder = config.folder();
        const QByteArray path = QFile::encodeName(config.configFile());
        const QByteArray old =
            configFor(" 0 ", "old") + QByteArray(kind == u"large" ? 17 << 20 : 0, 'x');
        QVERIFY(kind == u"fifo" ? ::mkfifo(path, 0644) == 0
                                : kind == u"none" || config.writeConfig(old));
        QVERIFY(config.writeSettings("[udp]\nremote_port=4001\n"));
        BroadcastListener bridges(4001);
        MainWindow window{ConsoleSettings::load(locations::settingsFile())};
        const QString message = window.statusBar()->currentMessage();
        QVERIFY2(why.isEmpty() || message.contains(why), qPrintable(message));
        // A file not read, like no file, empties both fields. Without one, no port opens, the
        // attempt on no address fails, and the first tick broadcasts on the configured port.
        auto *port = control<QLineEdit>(window.designArea(), "INP_COMM_NO");
        auto *address = control<QLineEdit>(window.designArea(), "INP_IP_ADR");
        const bool read = kind != u"none" && kind != u"fifo" && kind != u"large";
        QCOMPARE(port->text() + u'|' + address->text(), read ? u"0|old"_s : u"|"_s);
        if (kind == u"none") {
            QCOMPARE(background(port), ROUGE);
            QVERIFY(!window.panels().serial.isOpen());
            QCOMPARE(bridges.next(), QByteArray("\xFE\xFF\x06"));
            // The failed attempts change neither the field's tip nor the word of the first start.
            QCOMPARE(address->toolTip(),
                     u"no address in \"IP:\": type the bridge's address there"_s);
            QCOMPARE(background(address), ROUGE);
            QVERIFY(window.statusBar()->currentMessage().contains(why));
        }
        // The file goes away or cannot be written while the window runs.
        if (kind == u"missing")
            QVERIFY(QDir(folder).removeRecursively());
        else if (kind == u"read-only")
            QVERIFY(run(u"mount"_s, {u"--bind"_s, folder, folder}) &&
                    run(u"mount"_s, {u"-o"_s, u"remount,bind,ro"_s, folder}));
        else if (kind == u"full")
            QVERIFY(run(u"mount"_s,
                        {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, folder}) &&
                    config.writeConfig(old));
        QFile filler(folder + u"/filler"_s);
        if (kind == u"full" && filler.open(QIODevice::WriteOnly)) {
            while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
            }
            filler.close();
        }
        // The new file is longer than the old one: it cannot be written over it in place.
        address->setText(u"a-much-longer-new-address-that-needs-room"_s);
        window.close();
        struct stat s = {};
        if (kind == u"fifo")
            QVERIFY(::lstat(path, &s) == 0 && S_ISFIFO(s.st_mode));
        else
            QCOMPARE(config.readConfig(), kind == u"missing" || kind == u"none"
                                              ? configFor(" 0 ", address->text().toLatin1())
                                              : old);
        QVERIFY((kind != u"read-only" && kind != u"full") || run(u"umount"_s, {folder}));
    }

    // A second console on the same configuration folder is told at start, and still runs.
    void secondConsoleOnTheFolder()
    {
        TemporaryConfig config;
        QVERIFY(QDir().mkpath(config.folder()));
        QLockFile first(config.folder() + u"/kalveno.lock"_s);
        QVERIFY(first.tryLock());
        MainWindow second{ConsoleSettings{}};
        QVERIFY(second.statusBar()->currentMessage().contains(
            u"another console (process %1) already runs on %2"_s
                .arg(QCoreApplication::applicationPid())
                .arg(config.folder())));
        first.unlock();
        MainWindow third{ConsoleSettings{}};
        QVERIFY(!third.statusBar()->currentMessage().contains(u"another console"_s));
    }

    void terminalsAndFieldsAreWired()
    {
        TcpPeer bridge(1024), com2(1025, QHostAddress::AnyIPv4);
        Console console;
        // Reports go to the status bar.
        click(console.find<QWidget>("B_T_BRAS_TOMBE"));
        QVERIFY(console.window->statusBar()->currentMessage().endsWith(
            u"not sent: TCP link is down"_s));
        QVERIFY(bridge.accept());
        QTRY_VERIFY(console.window->tcpLink().isUp());
        // Keys leave and what arrives shows, on both links; double-clicks and buttons clear.
        auto *tcpBox = console.find<TerminalBox>("TXT_TCP_WIN");
        auto *serialBox = console.find<TerminalBox>("TXT_232_WIN");
        QTest::keyClick(tcpBox, Qt::Key_Q);
        QTest::keyClick(serialBox, Qt::Key_K);
        QCOMPARE(bridge.read(1) + console.line.read(1), QByteArray("qk"));
        bridge.socket->write("in");
        console.line.write("ser");
        QTRY_COMPARE(tcpBox->bytes() + serialBox->bytes(), QByteArray("qinkser"));
        doubleClick(tcpBox);
        doubleClick(serialBox);
        QCOMPARE(tcpBox->bytes() + serialBox->bytes(), QByteArray());
        tcpBox->append("x");
        serialBox->append("y");
        click(console.find<QWidget>("B_CLEAR_TCP"));
        click(console.find<QWidget>("B_CLEAR_232"));
        QCOMPARE(tcpBox->bytes() + serialBox->bytes(), QByteArray());
        for (TerminalBox *box : {tcpBox, serialBox}) {
            box->append("z");
            std::unique_ptr<QMenu>(box->createContextMenu())->actions().last()->trigger();
        }
        QCOMPARE(tcpBox->bytes() + serialBox->bytes(), QByteArray());
        // With "Auto Answer Test", a change of the TCP terminal pulses the four outputs, each
        // switched off first unless it already shows OFF; unticked, it sends nothing.
        click(console.find<QWidget>("SW_AUTO_ANSWER"));
        QByteArray first, pulses;
        for (const Command &c : IoCommands) {
            first += c.sent.size() == 2 ? framed(c.sent[0]) + framed(c.sent[1]) : "";
            pulses += c.sent.size() == 2 ? framed(c.sent[1]) : "";
        }
        bridge.socket->write("card");
        QCOMPARE(bridge.read(first.size()), first);
        bridge.socket->write("again");
        QCOMPARE(bridge.read(pulses.size()), pulses);
        click(console.find<QWidget>("SW_AUTO_ANSWER"));
        bridge.socket->write("no answer");
        // A mode is sent when chosen, not when typed; the zoom picture shows the test view.
        auto *mode = console.find<QComboBox>("LST_T_MODE");
        QTest::keyClick(mode, Qt::Key_Down);
        QTest::keyClicks(mode->lineEdit(), u"3"_s);
        click(console.find<QWidget>("B_ZOOM_TEST"));
        QVERIFY(console.window->panels().testView.isShown());
        QCOMPARE(bridge.read(6, 300), QByteArray("><IM1"));
        // The serial line goes away and another takes its number: the technician is told, and
        // the port opens on the new line when the number is typed again.
        Pty again;
        console.line.closeMaster();
        QTRY_VERIFY(console.window->statusBar()->currentMessage().contains(u"lost"_s));
        console.config.linkPort(1, again.slavePath());
        QTRY_VERIFY(console.window->statusBar()->currentMessage().contains(u"1 now names "_s +
                                                                           again.slavePath()));
        QVERIFY(!console.window->panels().serial.isOpen());
        console.find<QLineEdit>("INP_COMM_NO")->setText({});
        console.find<QLineEdit>("INP_COMM_NO")->setText(u"1"_s);
        QVERIFY(console.window->panels().serial.isOpen());
        // The simulator's box sets the reader's speed, and its idle tick keeps the terminal
        // short with nothing arriving.
        again.write(QByteArray(600, 'a'));
        QTRY_COMPARE(serialBox->length(), 600);
        click(console.find<QWidget>("SW_TOURNRFID"));
        QCOMPARE(console.find<QLineEdit>("INP_COMM_CFG")->text(), u"19200,N,8,1"_s);
        QTRY_COMPARE(serialBox->length(), 0);
        QVERIFY(console.window->serialLink().isUp());
        // Unticked, the reader's speed stays.
        click(console.find<QWidget>("SW_TOURNRFID"));
        QCOMPARE(console.find<QLineEdit>("INP_COMM_CFG")->text(), u"19200,N,8,1"_s);
        // Choosing the other port, or typing another address, connects again.
        QTest::keyClick(console.find<QComboBox>("INP_IP_PORT"), Qt::Key_Down);
        QVERIFY(com2.accept());
        console.find<QLineEdit>("INP_IP_ADR")->setText(u"127.0.0.2"_s);
        QVERIFY(com2.accept());
    }

    void closingEndsARunningSendTest()
    {
        TcpPeer bridge(1024);
        Console console;
        QVERIFY(bridge.accept());
        QTRY_VERIFY(console.window->tcpLink().isUp() && console.window->serialLink().isUp());
        QSignalSpy ended(console.window.get(), &MainWindow::ended);
        QTimer closing;
        QObject::connect(&closing, &QTimer::timeout, console.window.get(), [&] {
            if (console.window->panels().sendTest.isRunning())
                console.window->close();
        });
        closing.start(50);
        click(console.find<QWidget>("B_TST_SEND"));
        // The test ended in its first pass, red.
        QCOMPARE(ended.count(), 1);
        QCOMPARE(console.find<QLabel>("AFF_TST_SEND")->text(), u"10"_s);
        QCOMPARE(console.find<CaptionButton>("B_TST_SEND")->faceColour(), ROUGE);
    }

    // A pseudo-terminal that only a com<n> link names is found through the "COMM:" field's
    // menu and given the number in that field: the console opens it at once, and again by its
    // default device once the mapping is removed. The list follows a port that appears
    // meanwhile. How the mapping is written into kalveno.ini is tst_portnumbers'.
    void mapsALinkedPty()
    {
        TemporaryConfig config;
        Pty adapter;
        QVERIFY(config.linkPort(7, adapter.slavePath()));
        QVERIFY(config.writeSettings("; mine\n[udp]\nremote_port=1024\n[ports]\n3= ; none yet\n"));
        MainWindow window{ConsoleSettings{}};
        auto *comm = window.findChild<QLineEdit *>(u"INP_COMM_NO"_s);
        comm->setText(u"1"_s);

        QContextMenuEvent click(QContextMenuEvent::Mouse, {5, 5}, comm->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(comm, &click);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QVERIFY(menu->actions().size() > 2);
        menu->actions().last()->trigger();
        menu->close();
        auto *dialog = window.findChild<PortPickerDialog *>();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->findChild<QSpinBox *>(u"number"_s)->value(), 1);
        // The line of [ports] left out is told in the dialog.
        const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.begin(), labels.end(), [](const QLabel *l) {
            return l->text().startsWith(u"[ports] line "_s) &&
                   l->text().contains(u"3= ; none yet"_s);
        }));

        auto *table = dialog->findChild<QTableView *>();
        const int row = rowOf(table, adapter.slavePath());
        QVERIFY(row >= 0);
        QCOMPARE(cell(table, row, PortListModel::Number), u"7"_s);
        QCOMPARE(cell(table, row, PortListModel::GivenBy), u"link com7"_s);
        QCOMPARE(cell(table, row, PortListModel::State), u"present"_s);
        auto *remove = dialog->findChild<QPushButton *>(u"remove"_s);
        QVERIFY(!remove->isEnabled());
        table->selectRow(row);
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"give"_s), Qt::LeftButton);
        QVERIFY(remove->isEnabled());

        QCOMPARE(window.panels().serial.device(), adapter.slavePath());
        QVERIFY(window.serialLink().isUp());
        QVERIFY(window.panels().serial.output("map"));
        QCOMPARE(adapter.read(3), QByteArray("map"));
        const int mapped = rowOf(table, adapter.slavePath());
        QCOMPARE(cell(table, mapped, PortListModel::Number), u"1, 7"_s);
        QCOMPARE(cell(table, mapped, PortListModel::State), u"open as COM1"_s);

        Pty later;
        QVERIFY(config.linkPort(9, later.slavePath()));
        QTRY_VERIFY(rowOf(table, later.slavePath()) >= 0);

        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(window.panels().serial.device(), u"/dev/ttyS0"_s);
        // Opened again for the highest number there is.
        comm->setText(u"32767"_s);
        for (QAction *action : window.findChildren<QAction *>()) {
            if (action->text().remove(u'&') == u"Serial ports...")
                action->trigger();
        }
        QCOMPARE(dialog->findChild<QSpinBox *>(u"number"_s)->value(), 32767);

        // What Qt knows of a USB adapter, from the first row on.
        PortListModel model;
        model.setPorts({{u"/dev/ttyUSB0"_s, {}, {}, {}, {}, 0x403, 0x6001, true, {}, {}}});
        QVERIFY(model.port(0) && !model.port(1));
        QCOMPARE(model.data(model.index(0, PortListModel::UsbIds)).toString(), u"0403:6001"_s);
    }

    // Last: the rows share one window.
    void everyCommandOnItsLink_data()
    {
        QTest::addColumn<int>("link"); // 0 TCP, 1 UDP, 2 RS-232; -1 a turnstile command
        QTest::addColumn<int>("index");
        for (int link = 0; link < 3; ++link) {
            for (int i = 0; i < int(std::size(IoCommands)); ++i)
                QTest::addRow("%s %s", link ? (link == 1 ? "UDP" : "RS-232") : "TCP",
                              IoCommands[i].control)
                    << link << i;
        }
        for (int i = 0; i < int(std::size(TurnstileCommands)); ++i) {
            const Command &c = TurnstileCommands[i];
            QTest::addRow("%s %s", c.control, c.setup.join(' ').constData()) << -1 << i;
        }
    }

    void everyCommandOnItsLink()
    {
        QFETCH(int, link);
        QFETCH(int, index);
        const Command &command = (link < 0 ? TurnstileCommands : IoCommands)[index];
        if (!m_console) {
            m_bridge = std::make_unique<TcpPeer>(1024);
            m_broadcasts = std::make_unique<BroadcastListener>(1024);
            m_console = std::make_unique<Console>();
            QVERIFY(m_bridge->accept());
            QTRY_VERIFY(m_console->window->tcpLink().isUp());
        }
        const Console &console = *m_console;
        // Each row starts with every output on, the LED boxes clear and the fields as designed;
        // each option pair is exclusive on its own.
        QList<QByteArray> setup = {"INP_T_NB_PERSONNE=1", "INP_T_TIMEOUT=5",
                                   "INP_T_VALID_TIMEOUT=3"};
        for (int n = 1; n <= 4; ++n)
            setup << "SW_TTL" + QByteArray::number(n) + "_OUT(0)";
        console.find<QCheckBox>("SW_T_DEL_R")->setChecked(false);
        console.find<QCheckBox>("SW_T_DEL_V")->setChecked(false);
        setup << "SW_SEND_VIA(" + QByteArray::number(qMax(link, 0)) + ')';
        for (const QByteArray &s : setup + command.setup) {
            QWidget *w = named(console, s.split('=').first());
            if (auto *combo = qobject_cast<QComboBox *>(w))
                w = combo->lineEdit();
            if (auto *edit = qobject_cast<QLineEdit *>(w))
                edit->setText(QString::fromLatin1(s.mid(s.indexOf('=') + 1)));
            else if (auto *box = qobject_cast<QAbstractButton *>(w); box && box->isCheckable())
                box->setChecked(true);
            else
                w->setEnabled(true), w->show();
        }
        QVERIFY(console.find<QRadioButton>("SW_TTL1_OUT(0)")->isChecked());
        click(named(console, command.control));
        QByteArray stream;
        for (const QByteArray &s : command.sent) {
            stream += link < 0 ? s : framed(s);
            if (link == 1)
                QCOMPARE(m_broadcasts->next(), framed(s));
        }
        if (link != 1)
            QCOMPARE(link == 2 ? m_console->line.read(stream.size())
                               : m_bridge->read(stream.size()),
                     stream);
        // An LED box ticked beforehand has been cleared, and its LED switched off.
        for (const QByteArray &s : command.setup) {
            if (auto *box = qobject_cast<QCheckBox *>(named(console, s)))
                QVERIFY(!box->isChecked());
        }
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
