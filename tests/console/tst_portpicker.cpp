#include "app/mainwindow.h"
#include "app/settings.h"
#include "platform/locations.h"
#include "platform/serialcontrol.h"
#include "portpicker/portpickerdialog.h"
#include "support/pty.h"
#include "support/sandbox.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::test;
namespace {

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

class TestPortPicker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(insidePrivateNetwork()); }

    // A pseudo-terminal that only a com<n> link names is found through the "COMM:" field's menu and
    // given the number in that field: the console opens it at once, and again by its default
    // device once the mapping is removed. The list follows a port that appears meanwhile.
    void mapsALinkedPty()
    {
        TemporaryConfig config;
        Pty adapter;
        QVERIFY(config.linkPort(7, adapter.slavePath()));
        QVERIFY(config.writeSettings("; mine\n[udp]\nremote_port=1024\n"));
        MainWindow window{ConsoleSettings{}};
        auto *comm = window.findChild<QLineEdit *>(u"INP_COMM_NO"_s);
        comm->setText(u"4"_s);

        QContextMenuEvent click(QContextMenuEvent::Mouse, {5, 5}, comm->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(comm, &click);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QVERIFY(menu->actions().size() > 2);
        menu->actions().last()->trigger();
        menu->close();
        auto *dialog = window.findChild<PortPickerDialog *>();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->findChild<QSpinBox *>(u"number"_s)->value(), 4);

        auto *table = dialog->findChild<QTableView *>();
        const int row = rowOf(table, adapter.slavePath());
        QVERIFY(row >= 0);
        QCOMPARE(cell(table, row, PortListModel::Number), u"7"_s);
        QCOMPARE(cell(table, row, PortListModel::GivenBy), u"link com7"_s);
        QCOMPARE(cell(table, row, PortListModel::State), u"present"_s);
        table->selectRow(row);
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"give"_s), Qt::LeftButton);

        QCOMPARE(window.serial().device(), adapter.slavePath());
        QVERIFY(window.serialLink().isUp());
        QVERIFY(window.serial().output("map"));
        QCOMPARE(adapter.read(3), QByteArray("map"));
        QFile ini(locations::settingsFile());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), "; mine\n[udp]\nremote_port=1024\n\n[ports]\n4=" +
                                    adapter.slavePath().toUtf8() + '\n');
        const int mapped = rowOf(table, adapter.slavePath());
        QCOMPARE(cell(table, mapped, PortListModel::Number), u"4, 7"_s);

        Pty later;
        QVERIFY(config.linkPort(9, later.slavePath()));
        QTRY_VERIFY(rowOf(table, later.slavePath()) >= 0);

        QTest::mouseClick(dialog->findChild<QPushButton *>(u"remove"_s), Qt::LeftButton);
        QCOMPARE(window.serial().device(), u"/dev/ttyS3"_s);
    }
};

QTEST_MAIN(TestPortPicker)
#include "tst_portpicker.moc"
