#pragma once

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QString>

#include <memory>

namespace kalveno::test {

// A private X display (Xvfb, 1280x1024, 24 bits, 96 DPI) on which the real console runs, and
// the hands and eyes of a person in front of it: xdotool for the mouse and the keyboard,
// screenshots for what the screen shows. Windows open at (0,0) without decorations: there is
// no window manager.
class Desktop
{
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }

    // The window id of the first window whose name contains the text, waiting for it.
    QString waitForWindow(const QString &name, int timeoutMs = 10000);
    bool click(QPoint at, int count = 1);
    // Turns the wheel over a point, one notch at a time; down when `down`.
    bool wheel(QPoint at, int notches, bool down = true);
    QImage screenshot();
    QColor colourAt(QPoint at);
    // Asks a window to close, as a window manager does when its close button is pressed.
    bool closeWindow(const QString &windowId);

private:
    bool xdotool(const QStringList &arguments, QString *output = nullptr);

    QProcess m_server;
    QString m_display;
};

} // namespace kalveno::test
