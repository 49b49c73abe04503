#pragma once

#include "desktop.h"
#include "protocol/logline.h"
#include "support/sandbox.h"

#include <QProcess>
#include <QRect>
#include <QString>

#include <memory>

class QWidget;

namespace kalveno::test {

// The whole product as a newcomer runs it: the bridge simulator with its serial line linked as
// the console's port 1, and the real console on a private X display, with a configuration
// folder of the test's own pointing at 127.0.0.1.
class Stack
{
public:
    Stack();
    ~Stack();

    // Starts the simulator with extra arguments, then the console; true once its window shows,
    // else a warning says which step did not happen.
    bool start(const QStringList &simulatorArguments = {});

    Desktop &desktop() { return m_desktop; }
    const TemporaryConfig &config() const { return m_config; }
    QString windowId() const { return m_window; }
    QProcess &console() { return m_console; }

    // Where a control of the main window is on the screen: its centre, or for option buttons
    // and check boxes their indicator.
    QPoint place(const QString &control) const;
    // A point inside a control that shows its background colour, away from its text.
    QPoint backgroundOf(const QString &control) const;
    bool click(const QString &control, int count = 1);
    QColor colourOf(const QString &control);
    bool waitForColour(const QString &control, const QColor &colour, int timeoutMs = 15000);

    // A line of the simulator's control channel.
    void tell(const QString &command);
    // The simulator's log so far. Links are named as it logs them: "TCP 1024", "UDP", "serial".
    QList<logline::Line> log() const;
    // Whether the simulator received the bytes on the link after line `from`, in its chunks as
    // read (the received lines without a meaning).
    bool waitForReceived(const QString &link, qsizetype from, const QByteArray &bytes,
                         int timeoutMs = 5000);
    // Whether a line after `from` means this.
    bool waitForLog(const QString &meaning, qsizetype from = 0, int timeoutMs = 10000);
    // The console's own session log: whether a line of it carries these bytes on that link.
    bool waitForSessionLine(const QString &link, const QByteArray &bytes, int timeoutMs = 5000);

private:
    Desktop m_desktop;
    TemporaryConfig m_config;
    QProcess m_simulator;
    QProcess m_console;
    QString m_window;
    QString m_logFile;
    std::unique_ptr<QWidget> m_layout;
    int m_top = 0; // the design area's top in the window, below the menu bar
};

} // namespace kalveno::test
