#pragma once

#include <QByteArrayView>
#include <QPointer>
#include <QWidget>

class QPushButton;

namespace kalveno {

class TerminalBox;

// F_VIEW_TOURN, "Test Tourniquet": shows in very large type what the turnstile sends while it
// is tested, beside a grey legend of the mode 4 test pattern. Its display field starts empty;
// it has no logic beyond emptying it.
class TestView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TestView)

public:
    TestView();

    TerminalBox *AFF_TXT() const { return m_display; }
    QPushButton *clearButton() const { return m_clear; }
    TerminalBox *legend() const { return m_legend; }

private:
    void wire();
    // Command1, "Clear", a double-click on the display field and its menu's Clear.
    void clearDisplay();

    TerminalBox *m_display;
    QPushButton *m_clear;
    TerminalBox *m_legend; // Text1
};

// Creates the test view on first use and again after the user closed it; there is never more
// than one. Text goes to it only while it is shown.
class TestViewHost final
{
public:
    TestViewHost() = default;
    ~TestViewHost();
    TestViewHost(const TestViewHost &) = delete;
    TestViewHost &operator=(const TestViewHost &) = delete;

    // Shows the view, not modally and without an owner, creating it first when needed.
    void show();
    bool isShown() const;
    // The view when it exists, else nothing; asking does not create it.
    TestView *view() const { return m_view; }
    void destroy();

    // What the TCP dispatcher writes into the display field, each only while the view is shown.
    void clearIfShown();
    void appendIfShown(QByteArrayView text);
    void replaceIfShown(const QByteArray &text);

private:
    QPointer<TestView> m_view;
};

} // namespace kalveno
