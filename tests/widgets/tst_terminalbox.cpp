#include "widgets/terminalbox.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;
using kalveno::TerminalBox;

namespace {

QByteArray allBytes()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    return all;
}

// Records what the key-press hook saw; 0 when it was not called.
struct HookProbe
{
    explicit HookProbe(TerminalBox &box, int replaceWith = -1)
    {
        box.setKeyPressHook([this, replaceWith](int &code) {
            seen << code;
            if (replaceWith >= 0)
                code = replaceWith;
        });
    }
    QList<int> seen;
};

} // namespace

class TestTerminalBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsEveryByte();
    void lineBreaks_data();
    void lineBreaks();
    void changeOnlyOnRealChange();
    void appendGoesToTheEnd();
    void keyCodes_data();
    void keyCodes();
    void keyEffects_data();
    void keyEffects();
    void hookDecidesTheEffect();
    void doubleClick();
    void editingAcrossScreenBreaks_data();
    void editingAcrossScreenBreaks();
    void copyGivesTheExactBytes();
};

void TestTerminalBox::keepsEveryByte()
{
    TerminalBox box;
    const QByteArray all = allBytes();
    box.append(all);
    box.append(all);
    QCOMPARE(box.bytes(), all + all);
    QCOMPARE(box.length(), 512);
    // One display character per byte, so that positions agree.
    QCOMPARE(box.document()->characterCount() - 1, 512);
    box.setBytes(all);
    QCOMPARE(box.bytes(), all);
    QCOMPARE(box.document()->characterCount() - 1, 256);
}

void TestTerminalBox::lineBreaks_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<int>("lines");
    QTest::newRow("CR LF") << QList<QByteArray>{"a\r\nb"} << 2;
    QTest::newRow("lone CR") << QList<QByteArray>{"a\rb"} << 2;
    QTest::newRow("lone LF") << QList<QByteArray>{"a\nb"} << 2;
    QTest::newRow("two CR LF") << QList<QByteArray>{"a\r\n\r\nb"} << 3;
    QTest::newRow("CR LF split") << QList<QByteArray>{"a\r", "\nb"} << 2;
    QTest::newRow("LF CR") << QList<QByteArray>{"a\n\rb"} << 3;
    QTest::newRow("CR then text") << QList<QByteArray>{"a\r", "b"} << 2;
    QTest::newRow("NUL is no break") << QList<QByteArray>{QByteArray("a\0b", 3)} << 1;
    // A long line is broken on screen only, every SoftBreakEvery bytes.
    constexpr qsizetype K = TerminalBox::SoftBreakEvery;
    QList<QByteArray> pieces;
    for (int i = 0; i < 40; ++i)
        pieces << QByteArray(K / 10, 'a');
    QTest::newRow("four runs in small chunks") << pieces << 4;
    QTest::newRow("four runs at once") << QList<QByteArray>{QByteArray(4 * K - 1, 'a')} << 4;
    QTest::newRow("exactly one run") << QList<QByteArray>{QByteArray(K, 'a')} << 1;
    QTest::newRow("one more") << QList<QByteArray>{QByteArray(K + 1, 'a')} << 2;
    QTest::newRow("real break resets the run")
        << QList<QByteArray>{QByteArray(K - 10, 'a') + "\n" + QByteArray(K - 10, 'a')} << 2;
    QTest::newRow("CR LF split at the run's end")
        << QList<QByteArray>{QByteArray(K - 1, 'a') + "\r", "\nb"} << 2;
}

void TestTerminalBox::lineBreaks()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(int, lines);
    TerminalBox box;
    QByteArray all;
    for (const QByteArray &c : chunks) {
        box.append(c);
        all += c;
    }
    QCOMPARE(box.bytes(), all);
    QCOMPARE(box.length(), all.size());
    QCOMPARE(box.document()->blockCount(), lines);
    QCOMPARE(box.textCursor().position(), box.document()->characterCount() - 1);
}

void TestTerminalBox::changeOnlyOnRealChange()
{
    TerminalBox box;
    QSignalSpy changed(&box, &TerminalBox::changed);
    box.setBytes({});
    box.append({});
    QCOMPARE(changed.count(), 0);
    box.append("x");
    QCOMPARE(changed.count(), 1);
    box.setBytes("x");
    QCOMPARE(changed.count(), 1);
    box.setBytes({});
    QCOMPARE(changed.count(), 2);
    box.setBytes({});
    QCOMPARE(changed.count(), 2);
}

void TestTerminalBox::appendGoesToTheEnd()
{
    TerminalBox box;
    box.setBytes("hello world");
    QTextCursor selection = box.textCursor();
    selection.setPosition(2);
    selection.setPosition(5, QTextCursor::KeepAnchor);
    box.setTextCursor(selection);
    box.append("!\r\n");
    QCOMPARE(box.bytes(), QByteArray("hello world!\r\n"));
    QVERIFY(!box.textCursor().hasSelection());
    QCOMPARE(box.textCursor().position(), 14);
}

void TestTerminalBox::keyCodes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text"); // sent with sendKeyEvent when not null
    QTest::addColumn<int>("code");     // 0: the hook is not called
    const int none = Qt::NoModifier;
    QTest::newRow("a") << int(Qt::Key_A) << none << QString() << int('a');
    QTest::newRow("Shift+A") << int(Qt::Key_A) << int(Qt::ShiftModifier) << QString() << int('A');
    QTest::newRow("digit") << int(Qt::Key_7) << none << QString() << int('7');
    QTest::newRow("space") << int(Qt::Key_Space) << none << QString() << int(' ');
    QTest::newRow("Return") << int(Qt::Key_Return) << none << QString() << 13;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << QString()
                                  << 13;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << QString() << 8;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << none << QString() << 9;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << QString() << 27;
    QTest::newRow("Ctrl+A") << int(Qt::Key_A) << int(Qt::ControlModifier) << QString() << 1;
    QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier) << QString() << 26;
    QTest::newRow("Ctrl+Shift+C") << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                  << QString() << 3;
    QTest::newRow("e acute") << int(Qt::Key_Eacute) << none << u"\u00e9"_s << 233;
    QTest::newRow("y diaeresis") << int(Qt::Key_ydiaeresis) << none << u"\u00ff"_s << 255;
    QTest::newRow("euro is no byte") << int(Qt::Key_unknown) << none << u"\u20ac"_s << 0;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << none << QString() << 0;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << QString() << 0;
    QTest::newRow("Home") << int(Qt::Key_Home) << none << QString() << 0;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << QString() << 0;
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << QString() << 0;
}

void TestTerminalBox::keyCodes()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(int, code);
    TerminalBox box;
    HookProbe probe(box, 0);
    box.show();
    box.setFocus();
    if (text.isNull())
        QTest::keyClick(&box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    else
        QTest::sendKeyEvent(QTest::Press, &box, Qt::Key(key), text, Qt::NoModifier);
    QCOMPARE(probe.seen, code ? QList<int>{code} : QList<int>{});
    QVERIFY(box.bytes().isEmpty());
}

void TestTerminalBox::keyEffects_data()
{
    // The box starts holding `start` with the caret at `caret`; keys are typed one by one.
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("typing") << QByteArray() << 0 << QList<int>{Qt::Key_A, Qt::Key_B}
                            << QByteArray("ab");
    QTest::newRow("Enter inserts CR LF")
        << QByteArray("x") << 1 << QList<int>{Qt::Key_Return} << QByteArray("x\r\n");
    QTest::newRow("Backspace") << QByteArray("ab") << 2 << QList<int>{Qt::Key_Backspace}
                               << QByteArray("a");
    QTest::newRow("Backspace takes CR LF whole")
        << QByteArray("x\r\n") << 3 << QList<int>{Qt::Key_Backspace} << QByteArray("x");
    QTest::newRow("Backspace at start")
        << QByteArray("ab") << 0 << QList<int>{Qt::Key_Backspace} << QByteArray("ab");
    QTest::newRow("insert at caret")
        << QByteArray("ac") << 1 << QList<int>{Qt::Key_B} << QByteArray("abc");
    QTest::newRow("Delete forward")
        << QByteArray("abc") << 1 << QList<int>{Qt::Key_Delete} << QByteArray("ac");
    QTest::newRow("Delete takes CR LF whole")
        << QByteArray("a\r\nb") << 1 << QList<int>{Qt::Key_Delete} << QByteArray("ab");
    QTest::newRow("Escape shows nothing")
        << QByteArray("a") << 1 << QList<int>{Qt::Key_Escape} << QByteArray("a");
    QTest::newRow("Tab is a character")
        << QByteArray() << 0 << QList<int>{Qt::Key_Tab} << QByteArray("\t");
    QTest::newRow("arrows move the caret")
        << QByteArray("ac") << 2 << QList<int>{Qt::Key_Left, Qt::Key_B} << QByteArray("abc");
}

void TestTerminalBox::keyEffects()
{
    QFETCH(QByteArray, start);
    QFETCH(int, caret);
    QFETCH(QList<int>, keys);
    QFETCH(QByteArray, result);
    TerminalBox box;
    box.show();
    box.setFocus();
    box.setBytes(start);
    QTextCursor c = box.textCursor();
    c.setPosition(caret);
    box.setTextCursor(c);
    for (const int key : keys)
        QTest::keyClick(&box, Qt::Key(key));
    QCOMPARE(box.bytes(), result);
    QCOMPARE(box.document()->characterCount() - 1, result.size());
}

void TestTerminalBox::hookDecidesTheEffect()
{
    TerminalBox box;
    box.show();
    box.setFocus();
    QSignalSpy changed(&box, &TerminalBox::changed);
    {
        HookProbe discard(box, 0);
        QTest::keyClick(&box, Qt::Key_A);
        QTest::keyClick(&box, Qt::Key_Return);
        QCOMPARE(box.bytes(), QByteArray());
        QCOMPARE(changed.count(), 0);
    }
    HookProbe replace(box, 'z');
    QTest::keyClick(&box, Qt::Key_A);
    QCOMPARE(box.bytes(), QByteArray("z"));
    QCOMPARE(changed.count(), 1);
}

void TestTerminalBox::doubleClick()
{
    TerminalBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setBytes("abc def");
    QSignalSpy clicked(&box, &TerminalBox::doubleClicked);
    QWidget *surface = box.viewport();
    const QPoint p(10, 5);
    QTest::mousePress(surface, Qt::LeftButton, {}, p);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, p);
    QTest::mouseDClick(surface, Qt::LeftButton, {}, p);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, p);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(box.bytes(), QByteArray("abc def"));
}

void TestTerminalBox::editingAcrossScreenBreaks_data()
{
    // A line of 2K + 76 bytes shows as three paragraphs, broken in front of bytes K and 2K
    // (display positions K and 2K + 1). The caret is placed by display position.
    constexpr int K = int(TerminalBox::SoftBreakEvery);
    QTest::addColumn<int>("caret");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QByteArray>("result");
    const QByteArray a(2 * K + 76, 'a');
    QTest::newRow("before the screen break")
        << K << QList<int>{Qt::Key_X} << a.left(K) + "x" + a.mid(K);
    QTest::newRow("after the screen break")
        << K + 1 << QList<int>{Qt::Key_X} << a.left(K) + "x" + a.mid(K);
    QTest::newRow("beyond the second break")
        << 2 * K + 6 << QList<int>{Qt::Key_X} << a.left(2 * K + 4) + "x" + a.mid(2 * K + 4);
    QTest::newRow("Enter in the line")
        << 100 << QList<int>{Qt::Key_Return} << a.left(100) + "\r\n" + a.mid(100);
    QList<int> backAcrossBoth(K + 100, Qt::Key_Backspace);
    QTest::newRow("Backspace across two breaks") << 2 * K + 78 << backAcrossBoth << a.left(K - 24);
    QTest::newRow("Delete across a break")
        << K - 2 << QList<int>{Qt::Key_Delete, Qt::Key_Delete, Qt::Key_Delete}
        << a.left(K - 2) + a.mid(K + 1);
}

void TestTerminalBox::editingAcrossScreenBreaks()
{
    QFETCH(int, caret);
    QFETCH(QList<int>, keys);
    QFETCH(QByteArray, result);
    TerminalBox box;
    box.show();
    box.setFocus();
    box.setBytes(QByteArray(2 * TerminalBox::SoftBreakEvery + 76, 'a'));
    QCOMPARE(box.document()->blockCount(), 3);
    QTextCursor c = box.textCursor();
    c.setPosition(caret);
    box.setTextCursor(c);
    for (const int key : keys)
        QTest::keyClick(&box, Qt::Key(key));
    QCOMPARE(box.bytes(), result);
    box.append("z");
    QCOMPARE(box.bytes(), result + "z");
}

void TestTerminalBox::copyGivesTheExactBytes()
{
    TerminalBox box;
    const QByteArray text =
        QByteArray(TerminalBox::SoftBreakEvery + 100, 'c') + "\r\n\t" + QByteArray(1, '\0') + "end";
    box.setBytes(text);
    box.selectAll();
    box.copy();
    QCOMPARE(QApplication::clipboard()->text().toLatin1(), text);
}

QTEST_MAIN(TestTerminalBox)
#include "tst_terminalbox.moc"
