#include "widgets/picklist.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <functional>
#include <map>

using namespace Qt::StringLiterals;
using kalveno::PickList;

namespace {

void wheel(QWidget *target)
{
    const QPointF at = target->rect().center();
    QWheelEvent event(at, target->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

// The port list and the mode list run their handlers only on a pick; a wheel turn, Enter, the
// focus leaving and completion were all taken as picks by the plain combo box (a wheel turn
// moved a live link to the other port).
class TestPickList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyAPickRuns_data()
    {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<int>("picks");
        QTest::addColumn<QString>("text");
        // f: give the focus, w: wheel, d: arrow down, t: type "1025", p: type "10", e: Enter,
        // o: the focus leaves.
        QTest::newRow("wheel without the focus") << u"w"_s << 0 << u"1024"_s;
        QTest::newRow("wheel with the focus") << u"fw"_s << 1 << u"1025"_s;
        QTest::newRow("arrow key") << u"fd"_s << 1 << u"1025"_s;
        QTest::newRow("Enter after typing an entry") << u"fte"_s << 0 << u"1025"_s;
        QTest::newRow("focus leaves after typing an entry") << u"fto"_s << 0 << u"1025"_s;
        QTest::newRow("a typed prefix is not completed") << u"fpeo"_s << 0 << u"10"_s;
    }

    void onlyAPickRuns()
    {
        QFETCH(QString, actions);
        QFETCH(int, picks);
        QFETCH(QString, text);

        QWidget form;
        auto *list = new PickList(&form);
        auto *other = new QLineEdit(&form);
        other->move(0, 40);
        list->addItems({u"1024"_s, u"1025"_s});
        list->setEditText(u"1024"_s);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        other->setFocus();
        QSignalSpy picked(list, &PickList::picked);

        const auto type = [list](const QString &text) {
            list->lineEdit()->selectAll();
            QTest::keyClicks(list, text);
        };
        const std::map<QChar, std::function<void()>> steps{
            {u'f', [list] { list->setFocus(); }},
            {u'w', [list] { wheel(list); }},
            {u'd', [list] { QTest::keyClick(list, Qt::Key_Down); }},
            {u't', [type] { type(u"1025"_s); }},
            {u'p', [type] { type(u"10"_s); }},
            {u'e', [list] { QTest::keyClick(list, Qt::Key_Return); }},
            {u'o', [other] { other->setFocus(); }},
        };
        for (const QChar action : actions)
            steps.at(action)();
        QCOMPARE(picked.size(), picks);
        QCOMPARE(list->currentText(), text);
    }

    void pickFromTheOpenList()
    {
        PickList list;
        list.addItems({u"0 - Normal"_s, u"1 - Normal Paq"_s, u"2 - Free"_s});
        list.setEditText(u"0 - Normal"_s);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy picked(&list, &PickList::picked);
        list.showPopup();
        QAbstractItemView *view = list.view();
        QTRY_VERIFY(view->isVisible());
        const QRect item = view->visualRect(view->model()->index(2, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_COMPARE(picked.size(), 1);
        QCOMPARE(picked.first().first().toInt(), 2);
        QCOMPARE(list.currentText(), u"2 - Free"_s);
    }
};

QTEST_MAIN(TestPickList)
#include "tst_picklist.moc"
