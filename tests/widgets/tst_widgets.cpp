#include "widgets/picklist.h"
#include "widgets/terminalbox.h"
#include "widgets/terminalglyphs.h"
#include "widgets/terminalkeys.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;
using kalveno::PickList;
using kalveno::TerminalBox;
using kalveno::TerminalGlyphs;
using kalveno::TerminalLayout;
using kalveno::TerminalText;
namespace terminalkeys = kalveno::terminalkeys;

namespace {

using Keys = QList<int>; // QKeyCombination::toCombined()

// The text an X keyboard gives with a key: Shift's capitals, Ctrl's control codes.
QString keyboardText(QKeyCombination k)
{
    const int key = k.key();
    const bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;
    if (letter && (k.keyboardModifiers() & Qt::ControlModifier))
        return QString(QChar(key - Qt::Key_A + 1));
    if (letter)
        return QString(QChar((k.keyboardModifiers() & Qt::ShiftModifier) ? key : key + 32));
    switch (key) {
    case Qt::Key_Return:
        return u"\r"_s;
    case Qt::Key_Backspace:
        return u"\b"_s;
    case Qt::Key_Delete:
        return u"\x7f"_s;
    default:
        return {};
    }
}

void type(TerminalBox &box, QKeyCombination k, const QString &text)
{
    QTest::sendKeyEvent(QTest::Click, &box, k.key(), text, k.keyboardModifiers());
}

void type(TerminalBox &box, const Keys &keys)
{
    for (const int combined : keys) {
        const QKeyCombination k = QKeyCombination::fromCombined(combined);
        type(box, k, keyboardText(k));
    }
}

void show(TerminalBox &box)
{
    box.resize(226, 130);
    box.show();
    box.activateWindow();
    box.setFocus();
}

// The blocks of a text, walked forwards; each position must find its block from scratch too, as
// painting and scrolling backwards do.
QList<qsizetype> walk(const TerminalText &text)
{
    QList<qsizetype> blocks;
    for (TerminalText::Block b = text.blockFrom(0);; b = text.blockFrom(b.end)) {
        blocks << b.start << b.visibleEnd << b.end;
        for (qsizetype p = b.start; p < b.end || (b.last && p == b.end); ++p) {
            const TerminalText::Block found = text.blockAt(p);
            if (found.start != b.start || found.end != b.end)
                return {-1, p};
        }
        if (b.last)
            return blocks;
    }
}

// A wheel turn as the window system delivers it: spontaneous, so that the application first
// gives the focus to a widget that takes it from the wheel, to the widget under the pointer
// (an editable combo box's line edit), whence it passes to its parents.
void wheel(QWidget *target)
{
    const QPointF at = target->rect().center();
    QWheelEvent event(at, target->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);
}

} // namespace

// The console's own widgets: the terminal box, which keeps the exact bytes it shows, and the
// pick list, which runs its handlers only on a pick.
class TestWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blocks_data()
    {
        // Blocks as start, end of what is shown, end; K is the block size.
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<qsizetype>>("blocks");
        constexpr qsizetype K = TerminalText::BlockSize;
        const QByteArray a(K, 'a');
        QTest::newRow("empty") << QByteArray() << QList<qsizetype>{0, 0, 0};
        QTest::newRow("CR LF, lone CR, LF")
            << QByteArray("a\r\nb\rc\nd") << QList<qsizetype>{0, 1, 3, 3, 4, 5, 5, 6, 7, 7, 8, 8};
        QTest::newRow("a CR at the end breaks until an LF comes")
            << QByteArray("a\r") << QList<qsizetype>{0, 1, 2, 2, 2, 2};
        QTest::newRow("a long line is cut every K")
            << a + a + "tail"
            << QList<qsizetype>{0, K, K, K, 2 * K, 2 * K, 2 * K, 2 * K + 4, 2 * K + 4};
        QTest::newRow("the first cut K into the line")
            << "x\n" + a + a
            << QList<qsizetype>{0, 1, 2, 2, 2 * K, 2 * K, 2 * K, 2 * K + 2, 2 * K + 2};
        QTest::newRow("no cut where the line ends")
            << a + "\r\nb" << QList<qsizetype>{0, K, K + 2, K + 2, K + 3, K + 3};
        QTest::newRow("no cut at the end") << a << QList<qsizetype>{0, K, K};
    }

    void blocks()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<qsizetype>, blocks);
        TerminalText t;
        t.assign(text);
        QCOMPARE(walk(t), blocks);
        // Dropping the front at a block's start leaves the other blocks where they were.
        t.setLimit(text.size() - 1);
        const qsizetype cut = t.trim();
        QList<qsizetype> kept;
        for (qsizetype i = 0; i < blocks.size(); i += 3) {
            if (blocks[i] >= cut)
                kept << blocks[i] - cut << blocks[i + 1] - cut << blocks[i + 2] - cut;
        }
        if (cut > 0 && blocks.contains(cut))
            QCOMPARE(walk(t), kept);
    }

    void exactTextUnderEdits_data()
    {
        // The box starts holding `start`, selected from `anchor` to `caret`; the keys are typed,
        // then `appended` arrives.
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("caret");
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<QByteArray>("appended");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<int>("caretAfter");
        QTest::addColumn<int>("hookSets"); // the byte a key-press hook makes of each key; -1: none
        const auto row = [](const char *name, const QByteArray &start, int anchor, int caret,
                            const Keys &keys, const QByteArray &result, int caretAfter,
                            const QByteArray &appended = {}, int hookSets = -1) {
            QTest::newRow(name) << start << anchor << caret << keys << appended << result
                                << caretAfter << hookSets;
        };
        const int shift = Qt::ShiftModifier;
        const int ctrl = Qt::ControlModifier;
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        row("every byte value", all, 0, 0, {}, all + all, 512, all);
        row("append drops the selection", "hello world", 2, 5, {}, "hello world!\r\n", 14, "!\r\n");
        row("typing replaces the selection", "hello world", 0, 5, {Qt::Key_J, Qt::Key_O},
            "jo world", 2);
        row("Enter inserts CR LF", "ab", 1, 1, {Qt::Key_Return}, "a\r\nb", 3);
        row("Backspace takes CR LF whole", "x\r\n", 3, 3, {Qt::Key_Backspace}, "x", 1);
        row("Delete takes CR LF whole", "a\r\nb", 1, 1, {Qt::Key_Delete}, "ab", 1);
        row("arrows step over CR LF", "a\r\nb", 4, 4, {Qt::Key_Left, Qt::Key_Left, Qt::Key_X},
            "ax\r\nb", 2);
        row("lone CR and LF are single steps", "a\n\rb", 4, 4,
            {Qt::Key_Left, Qt::Key_Left, Qt::Key_X}, "a\nx\rb", 3);
        row("Up keeps the column", "abcd\r\nabcd", 8, 8, {Qt::Key_Up, Qt::Key_X}, "abxcd\r\nabcd",
            3);
        row("Shift+Left selects", "abc", 3, 3,
            {shift | Qt::Key_Left, shift | Qt::Key_Left, Qt::Key_Z}, "az", 2);
        row("Shift+Home selects the row", "one\r\ntwo", 8, 8,
            {shift | Qt::Key_Home, Qt::Key_Delete}, "one\r\n", 5);
        // Ctrl with a letter is a byte on the line and nothing more: Ctrl+A once selected all,
        // and the next echoed key replaced the whole transcript.
        row("Ctrl+A does not select", QByteArray("a\0b", 3), 1, 1, {ctrl | Qt::Key_A, Qt::Key_X},
            QByteArray("ax\0b", 4), 2);
        row("Ctrl+Shift+A selects all", QByteArray("a\0b", 3), 1, 1,
            {ctrl | shift | Qt::Key_A, Qt::Key_X}, "x", 1);
        row("Ctrl+X does not cut", "abc", 1, 1, {ctrl | Qt::Key_X}, "abc", 1);
        row("Ctrl+Shift+X cuts the selection", "abc", 0, 2, {ctrl | shift | Qt::Key_X}, "c", 0);
        row("Shift+Delete cuts the selection", "abc", 1, 3, {shift | Qt::Key_Delete}, "a", 1);
        row("Ctrl+V does not paste", "abc", 1, 1, {ctrl | Qt::Key_V}, "abc", 1);
        row("Shift+Insert pastes Latin-1 over the selection", "abc", 1, 2, {shift | Qt::Key_Insert},
            "aP\xe9\r\n\x01?c", 7);
        row("Ctrl+Enter inserts LF", "ab", 1, 1, {ctrl | Qt::Key_Return}, "a\nb", 2);
        row("Ctrl+Backspace inserts DEL", "ab", 2, 2, {ctrl | Qt::Key_Backspace}, "ab\x7f", 3);
        row("other control bytes show nothing but the tab", "ab", 1, 1,
            {Qt::Key_Escape, ctrl | Qt::Key_B, ctrl | Qt::Key_I}, "a\tb", 2);
        row("a hook discards", "ab", 1, 1, {Qt::Key_X}, "ab", 1, {}, 0);
        row("a hook replaces", "ab", 1, 1, {Qt::Key_X}, "azb", 2, {}, 'z');
        row("a hook makes Enter", "ab", 1, 1, {Qt::Key_X}, "a\r\nb", 3, {}, 13);
    }

    void exactTextUnderEdits()
    {
        QFETCH(QByteArray, start);
        QFETCH(int, anchor);
        QFETCH(int, caret);
        QFETCH(Keys, keys);
        QFETCH(QByteArray, appended);
        QFETCH(QByteArray, result);
        QFETCH(int, caretAfter);
        QFETCH(int, hookSets);
        QApplication::clipboard()->setText(u"P\u00e9\r\n\u0001\u20ac"_s);
        TerminalBox box;
        if (hookSets >= 0)
            box.setKeyPressHook([hookSets](int &code) { code = hookSets; });
        show(box);
        box.setBytes(start);
        box.setSelection(anchor, caret);
        type(box, keys);
        box.append(appended);
        QCOMPARE(box.bytes(), result);
        QCOMPARE(box.length(), result.size());
        QCOMPARE(box.caretPosition(), qsizetype(caretAfter));
        QCOMPARE(box.anchorPosition(), qsizetype(caretAfter));
        // Draws what it holds, control bytes and all.
        QVERIFY(!box.grab().isNull());
    }

    void keys_data()
    {
        // A key as an X keyboard sends it, with its text: the byte it gives (0: none), or what
        // the terminal does with it instead.
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("action"); // terminalkeys::Action
        QTest::addColumn<int>("move");   // terminalkeys::Move
        using A = terminalkeys::Action;
        using M = terminalkeys::Move;
        const int none = Qt::NoModifier;
        const int shift = Qt::ShiftModifier;
        const int ctrl = Qt::ControlModifier;
        const auto row = [](const char *name, Qt::Key key, int modifiers, const QString &text,
                            int byte, A action = A::None, M move = M::None) {
            QTest::newRow(name) << int(key) << modifiers << text << byte << int(action)
                                << int(move);
        };
        row("a", Qt::Key_A, none, u"a"_s, 'a');
        row("Shift+A", Qt::Key_A, shift, u"A"_s, 'A');
        row("Caps Lock, a", Qt::Key_A, none, u"A"_s, 'A');
        row("e acute", Qt::Key_Eacute, none, u"\u00e9"_s, 0xe9);
        row("euro is no byte", Qt::Key_unknown, none, u"\u20ac"_s, 0);
        row("Return", Qt::Key_Return, none, u"\r"_s, 13);
        row("keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, u"\r"_s, 13);
        row("Backspace", Qt::Key_Backspace, none, u"\b"_s, 8);
        row("Escape", Qt::Key_Escape, none, u"\x1b"_s, 27);
        row("Ctrl+B without its code", Qt::Key_B, ctrl, u"b"_s, 2);
        row("Ctrl+Z", Qt::Key_Z, ctrl, u"\x1a"_s, 26);
        row("Ctrl+I", Qt::Key_I, ctrl, u"\t"_s, 9);
        row("Ctrl+[", Qt::Key_BracketLeft, ctrl, u"\x1b"_s, 27);
        row("Ctrl+_", Qt::Key_Underscore, ctrl | shift, u"\x1f"_s, 31);
        row("Tab moves the focus", Qt::Key_Tab, none, u"\t"_s, 0);
        row("Delete edits", Qt::Key_Delete, none, u"\x7f"_s, 0);
        row("Ctrl+Enter", Qt::Key_Return, ctrl, u"\n"_s, 10);
        row("Ctrl+Backspace", Qt::Key_Backspace, ctrl, u"\x7f"_s, 127);
        row("Ctrl+Shift+C copies", Qt::Key_C, ctrl | shift, u"\x03"_s, 0, A::Copy);
        row("Ctrl+Insert copies", Qt::Key_Insert, ctrl, QString(), 0, A::Copy);
        row("Ctrl+Shift+X cuts", Qt::Key_X, ctrl | shift, u"\x18"_s, 0, A::Cut);
        row("Shift+Delete cuts", Qt::Key_Delete, shift, u"\x7f"_s, 0, A::Cut);
        row("Ctrl+Shift+V pastes", Qt::Key_V, ctrl | shift, u"\x16"_s, 0, A::Paste);
        row("Shift+Insert pastes", Qt::Key_Insert, shift, QString(), 0, A::Paste);
        row("Ctrl+Shift+A selects all", Qt::Key_A, ctrl | shift, u"\x01"_s, 0, A::SelectAll);
        row("Left", Qt::Key_Left, none, QString(), 0, A::None, M::Left);
        row("Ctrl+Shift+Right", Qt::Key_Right, ctrl | shift, QString(), 0, A::None, M::WordRight);
        row("Home", Qt::Key_Home, none, QString(), 0, A::None, M::RowStart);
        row("Ctrl+End", Qt::Key_End, ctrl, QString(), 0, A::None, M::TextEnd);
        row("Page Up", Qt::Key_PageUp, none, QString(), 0, A::None, M::PageUp);
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(int, byte);
        QFETCH(int, action);
        QFETCH(int, move);
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
        QCOMPARE(terminalkeys::byteOf(event), byte);
        QCOMPARE(int(terminalkeys::actionOf(event)), action);
        QCOMPARE(int(terminalkeys::moveOf(event)), move);
    }

    void rows_data()
    {
        // Every byte one unit wide: each row as start, end of what is shown, start of the next.
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<qsizetype>>("rows");
        using L = QList<qsizetype>;
        QTest::newRow("empty") << QByteArray() << 5 << L{0, 0, 0};
        QTest::newRow("line ends")
            << QByteArray("ab\r\ncd\ne") << 5 << L{0, 2, 4, 4, 6, 7, 7, 8, 8};
        QTest::newRow("a long word breaks where a byte no longer fits")
            << QByteArray("abcdefgh") << 3 << L{0, 3, 3, 3, 6, 6, 6, 8, 8};
        QTest::newRow("after the last space that fits")
            << QByteArray("ab cd ef") << 6 << L{0, 6, 6, 6, 8, 8};
        QTest::newRow("a space at the edge stays with its row")
            << QByteArray("abcde fg") << 5 << L{0, 6, 6, 6, 8, 8};
        QTest::newRow("wrapped, then a line end")
            << QByteArray("abcd\r\nx") << 3 << L{0, 3, 3, 3, 4, 6, 6, 7, 7};
        QTest::newRow("blocks wrap on their own")
            << QByteArray(TerminalText::BlockSize + 2, 'a') << 4000
            << L{0, 4000, 4000, 4000, 4096, 4096, 4096, 4098, 4098};
    }

    // The rows found from any of their positions, forwards and backwards, are the same; a
    // distance into a row gives back its position.
    void rows()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, width);
        QFETCH(QList<qsizetype>, rows);
        TerminalText t;
        t.assign(text);
        TerminalLayout layout(t);
        std::array<qreal, 256> units;
        units.fill(1);
        layout.setAdvances(units);
        layout.setSize(width, 2);
        QList<qsizetype> found;
        for (const TerminalLayout::Row &r : layout.rowsFrom(0, 1000)) {
            found << r.start << r.visibleEnd << r.next;
            for (qsizetype p = r.start; p < r.next || (r.last && p == r.next); ++p)
                QCOMPARE(layout.rowAt(p), r);
            if (!r.last)
                QCOMPARE(layout.rowsBefore(r.next, 1), TerminalLayout::Rows{r});
            for (qsizetype p = r.start; p <= r.visibleEnd; ++p)
                QCOMPARE(layout.positionAt(r, layout.xOf(r, p) + 0.4), p);
        }
        QCOMPARE(found, rows);
    }

    // Ten one-byte lines, three rows to a page.
    void scrolling()
    {
        TerminalText t;
        t.assign("0\n1\n2\n3\n4\n5\n6\n7\n8\n9");
        TerminalLayout layout(t);
        std::array<qreal, 256> units;
        units.fill(1);
        layout.setAdvances(units);
        layout.setSize(5, 3);
        const auto top = [&] { return t.bytes().at(layout.visibleRows().first().start); };
        QCOMPARE(top(), '7');
        layout.scrollRows(-2);
        QCOMPARE(top(), '5');
        QCOMPARE(layout.visibleRows().size(), 4); // and one more partly shown
        layout.ensureVisible(0);
        QCOMPARE(top(), '0');
        layout.ensureVisible(t.size() - 5); // row 7: the view moves as little as it must
        QCOMPARE(top(), '5');
        // The first two rows go: the top row stays on its text.
        t.replace(0, 4, QByteArrayView());
        layout.edited(0, 4, 0);
        QCOMPARE(top(), '5');
        layout.scrollRows(1);
        QCOMPARE(top(), '6');
        layout.scrollRows(1); // the end: it follows the end again
        QCOMPARE(top(), '7');
        t.assign(t.bytes() + "\nA");
        QCOMPARE(top(), '8');
    }

    // A byte is drawn as the font's character for it, or framed as its abbreviation where the
    // font has none; the bytes Latin-1 prints nothing for always framed.
    void glyphs_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("character"); // none: always framed
        QTest::addColumn<QString>("abbreviation");
        QTest::newRow("NUL") << 0 << u"\u2400"_s << u"NUL"_s;
        QTest::newRow("LF") << 10 << u"\u240a"_s << u"LF"_s;
        QTest::newRow("US") << 31 << u"\u241f"_s << u"US"_s;
        QTest::newRow("A") << int('A') << u"A"_s << u"41"_s;
        QTest::newRow("DEL") << 127 << u"\u2421"_s << u"DEL"_s;
        QTest::newRow("80") << 0x80 << QString() << u"80"_s;
        QTest::newRow("9F") << 0x9f << QString() << u"9F"_s;
        QTest::newRow("no-break space") << 0xa0 << u"\u00a0"_s << u"A0"_s;
        QTest::newRow("soft hyphen") << 0xad << QString() << u"SHY"_s;
        QTest::newRow("y diaeresis") << 0xff << u"\u00ff"_s << u"FF"_s;
    }

    void glyphs()
    {
        QFETCH(int, byte);
        QFETCH(QString, character);
        QFETCH(QString, abbreviation);
        TerminalGlyphs glyphs;
        glyphs.setFont(QFont(u"DejaVu Sans Mono"_s, 10));
        const auto b = uchar(byte);
        QCOMPARE(TerminalGlyphs::abbreviation(b), abbreviation);
        const bool drawn =
            !character.isEmpty() && QFontMetricsF(glyphs.font()).inFontUcs4(character[0].unicode());
        QCOMPARE(int(glyphs.character(b)), drawn ? int(character[0].unicode()) : 0);
        QVERIFY(glyphs.advance(b) > 0);
        QVERIFY(glyphs.rowHeight() > 1);
    }

    void tabMovesTheFocus()
    {
        QWidget form;
        auto *box = new TerminalBox(&form);
        auto *field = new QLineEdit(&form);
        field->move(0, 140);
        int hooked = 0;
        box->setKeyPressHook([&hooked](int &) { ++hooked; });
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        box->setFocus();
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_Tab, u"\t"_s, Qt::NoModifier);
        QVERIFY(field->hasFocus());
        box->setFocus();
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_Backtab, QString(), Qt::ShiftModifier);
        QVERIFY(field->hasFocus());
        QCOMPARE(hooked, 0);
        QVERIFY(box->bytes().isEmpty());
    }

    void changeOnlyOnRealChange()
    {
        TerminalBox box;
        show(box);
        QSignalSpy changed(&box, &TerminalBox::changed);
        box.setBytes({});
        box.append({});
        QCOMPARE(changed.count(), 0);
        box.append("x");
        box.setBytes("x");
        QCOMPARE(changed.count(), 1);
        // Typing the selected byte over itself, deleting at either end: the same text.
        box.setSelection(0, 1);
        type(box, {Qt::Key_X});
        type(box, {Qt::Key_Delete});
        box.setSelection(0, 0);
        type(box, {Qt::Key_Backspace});
        QCOMPARE(changed.count(), 1);
        // An append that also drops old lines is one change.
        box.setByteLimit(100);
        box.append(QByteArray(30, 'a') + "\r\n" + QByteArray(80, 'b') + "\r\n");
        QCOMPARE(changed.count(), 2);
        box.setBytes({});
        box.setBytes({});
        QCOMPARE(changed.count(), 3);
        // Its own bytes appended: the bound makes room first, and must not move what is read.
        box.setBytes("abc\r\n");
        box.append(box.bytes());
        QCOMPARE(box.bytes(), QByteArray("abc\r\nabc\r\n"));
    }

    void boundDropsWholeLines_data()
    {
        QTest::addColumn<qsizetype>("limit");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qsizetype>("chunk");
        QTest::addColumn<bool>("wholeLines");
        QByteArray lines;
        for (int i = 0; lines.size() < 3 * 1024 * 1024; ++i)
            lines += QByteArray::number(i).rightJustified(78, '.') + "\r\n";
        QByteArray lone;
        for (int i = 0; i < 3000; ++i)
            lone += QByteArray::number(i) + (i % 3 ? "\r" : "\n");
        QTest::newRow("lines in 64 KiB chunks")
            << qsizetype(1024 * 1024) << lines << qsizetype(64 * 1024) << true;
        QTest::newRow("set whole past the bound")
            << qsizetype(1024 * 1024) << lines << lines.size() << true;
        QTest::newRow("CR LF split across chunks")
            << qsizetype(1000) << lines.left(20000) << qsizetype(79) << true;
        QTest::newRow("lone CR and LF") << qsizetype(500) << lone << qsizetype(7) << true;
        QTest::newRow("a line longer than the bound keeps its tail")
            << qsizetype(1000) << QByteArray(3000, 'y') << qsizetype(100) << false;
        // kalveno.ini allows a terabyte: nothing in proportion to it is set aside.
        QTest::newRow("the largest bound")
            << (qsizetype(1) << 40) << lines.left(80 * 1024) << qsizetype(4096) << false;
    }

    void boundDropsWholeLines()
    {
        QFETCH(qsizetype, limit);
        QFETCH(QByteArray, text);
        QFETCH(qsizetype, chunk);
        QFETCH(bool, wholeLines);
        TerminalBox box;
        show(box);
        box.setByteLimit(limit);
        QSignalSpy changed(&box, &TerminalBox::changed);
        int operations = 0;
        for (qsizetype at = 0; at < text.size(); at += chunk, ++operations) {
            if (at == 0)
                box.setBytes(text.left(chunk));
            else
                box.append(QByteArrayView(text).sliced(at, qMin(chunk, text.size() - at)));
            QVERIFY(box.length() <= limit);
        }
        QCOMPARE(changed.count(), operations);
        const QByteArray kept = box.bytes();
        QVERIFY(kept.size() >= qMin(limit / 2, text.size()));
        QVERIFY(text.endsWith(kept));
        const qsizetype cut = text.size() - kept.size();
        if (wholeLines)
            QVERIFY(text[cut - 1] == '\n' || (text[cut - 1] == '\r' && text[cut] != '\n'));
        QCOMPARE(box.caretPosition(), kept.size());
        QVERIFY(!box.grab().isNull());
    }

    void copyAndContextMenu()
    {
        const QByteArray text =
            QByteArray("first line\r\nNUL ", 16) + '\0' + "\x80\xff\t\r" + "end";
        TerminalBox box;
        show(box);
        box.setBytes(text);
        QSignalSpy cleared(&box, &TerminalBox::clearRequested);
        std::unique_ptr<QMenu> menu(box.createContextMenu());
        const auto action = [&menu](const QString &start) {
            const QList<QAction *> actions = menu->actions();
            return *std::find_if(actions.cbegin(), actions.cend(), [&start](const QAction *a) {
                return a->text().remove(u'&').startsWith(start);
            });
        };
        QVERIFY(!action(u"Copy"_s)->isEnabled());
        // From the very start, Shift+click past the end of the second row, Ctrl+C.
        QWidget *surface = box.viewport();
        const int row = box.fontMetrics().height();
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(1, 2));
        QTest::mouseClick(surface, Qt::LeftButton, Qt::ShiftModifier,
                          QPoint(220, 4 + row + row / 2));
        QApplication::clipboard()->setText(u"before"_s);
        type(box, {int(Qt::ControlModifier) | Qt::Key_C});
        QCOMPARE(QApplication::clipboard()->text(), u"before"_s);
        type(box, {int(Qt::ControlModifier | Qt::ShiftModifier) | Qt::Key_C});
        QCOMPARE(QApplication::clipboard()->text().toLatin1(), text.left(20));
        QVERIFY(!box.grab().isNull());
        action(u"Select All"_s)->trigger();
        QCOMPARE(box.selectedBytes(), text);
        menu.reset(box.createContextMenu());
        QVERIFY(action(u"Copy"_s)->isEnabled());
        action(u"Copy"_s)->trigger();
        QCOMPARE(QApplication::clipboard()->text().toLatin1(), text);
        // With a paste hook the menu says that a paste goes out.
        box.setPasteHook([](const TerminalBox::Pasted &, bool &) { return false; });
        menu.reset(box.createContextMenu());
        QVERIFY(action(u"Paste and send"_s)->isEnabled());
        action(u"Clear"_s)->trigger();
        QCOMPARE(cleared.count(), 1);
        // The owner clears, as it does for its CLEAR button.
        QCOMPARE(box.length(), text.size());
    }

    // A paste leaves in chunks, after the key has been handled, each chunk shown once it has
    // gone out (when echo is on); a chunk the hook does not send ends the paste there.
    void pasteGoesOutInChunks_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<int>("refusedAt"); // the chunk the hook does not send, -1 for none
        QTest::newRow("echoed") << true << -1;
        QTest::newRow("not echoed") << false << -1;
        QTest::newRow("refused at once") << true << 0;
        QTest::newRow("stopped after a chunk") << true << 1;
    }

    void pasteGoesOutInChunks()
    {
        QFETCH(bool, echo);
        QFETCH(int, refusedAt);
        const QByteArray body =
            QByteArray("caf\xe9 \r\n").repeated(TerminalBox::PasteChunkSize / 3);
        const QByteArray whole = body + '?';
        QApplication::clipboard()->setText(QString::fromLatin1(body) + u"\u20ac"_s);
        TerminalBox box;
        show(box);
        box.setBytes("> ");
        QByteArray sent;
        int calls = 0;
        bool counted = true;
        box.setPasteHook([&](const TerminalBox::Pasted &chunk, bool &shown) {
            counted = counted && chunk.done == sent.size() && chunk.total == whole.size();
            if (calls++ == refusedAt)
                return false;
            sent += chunk.bytes;
            shown = echo;
            return true;
        });
        type(box, {int(Qt::ControlModifier | Qt::ShiftModifier) | Qt::Key_V});
        QCOMPARE(calls, 0);
        const int chunks = refusedAt < 0 ? 3 : refusedAt + 1;
        QTRY_COMPARE(calls, chunks);
        QVERIFY(!QTest::qWaitFor([&] { return calls > chunks; }, 100));
        QVERIFY(counted);
        const QByteArray out =
            refusedAt < 0 ? whole : whole.left(refusedAt * TerminalBox::PasteChunkSize);
        QCOMPARE(sent, out);
        QCOMPARE(box.bytes(), "> " + (echo ? out : QByteArray()));
    }

    // The port list and the mode list run their handlers only on a pick; a wheel turn, Enter,
    // the focus leaving and completion were all taken as picks by the plain combo box (a wheel
    // turn moved a live link to the other port).
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
            {u'w', [list] { wheel(list->lineEdit()); }},
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

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
