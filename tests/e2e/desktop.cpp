#include "desktop.h"

#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTest>

#include <xcb/xcb.h>

#include <cstring>

using namespace Qt::StringLiterals;

namespace kalveno::test {

Desktop::Desktop()
{
    // A display number of its own, well away from those a desktop uses, and a server that
    // really answers before anyone is told its number: servers started at the same time in
    // other namespaces take no lock files. Without -noreset the server starts over whenever its
    // last client leaves, refusing connections meanwhile.
    for (int attempt = 0; attempt < 5 && m_display.isEmpty(); ++attempt) {
        const QString display = u":%1"_s.arg(200 + QRandomGenerator::global()->bounded(800));
        m_server.start(u"Xvfb"_s, {display, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s,
                                   u"tcp"_s, u"-dpi"_s, u"96"_s, u"-noreset"_s});
        if (!m_server.waitForStarted(10000))
            continue;
        const bool answers = QTest::qWaitFor(
            [&] {
                if (m_server.state() != QProcess::Running)
                    return true;
                xcb_connection_t *c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
                const bool ok = !xcb_connection_has_error(c);
                xcb_disconnect(c);
                return ok;
            },
            10000);
        if (answers && m_server.state() == QProcess::Running)
            m_display = display;
        else {
            m_server.kill();
            m_server.waitForFinished(2000);
        }
    }
}

Desktop::~Desktop()
{
    m_server.terminate();
    if (!m_server.waitForFinished(5000))
        m_server.kill();
}

bool Desktop::xdotool(const QStringList &arguments, QString *output)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    tool.setProcessEnvironment(env);
    tool.start(u"xdotool"_s, arguments);
    // The console runs in another process; waiting here does not hold it up.
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    return true;
}

QString Desktop::waitForWindow(const QString &name, int timeoutMs)
{
    QString id;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, name}, &id) &&
                   !id.isEmpty();
        },
        timeoutMs));
    return id.section(u'\n', 0, 0);
}

bool Desktop::click(QPoint at, int count)
{
    return xdotool({u"mousemove"_s, QString::number(at.x()), QString::number(at.y()), u"click"_s,
                    u"--repeat"_s, QString::number(count), u"--delay"_s, u"80"_s, u"1"_s});
}

bool Desktop::wheel(QPoint at, int notches, bool down)
{
    // X reports the wheel as buttons 4 (up) and 5 (down).
    return xdotool({u"mousemove"_s, QString::number(at.x()), QString::number(at.y()), u"click"_s,
                    u"--repeat"_s, QString::number(notches), u"--delay"_s, u"80"_s,
                    down ? u"5"_s : u"4"_s});
}

QImage Desktop::screenshot()
{
    QProcess import;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    import.setProcessEnvironment(env);
    import.start(u"import"_s, {u"-window"_s, u"root"_s, u"png:-"_s});
    if (!import.waitForFinished(20000))
        return {};
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

QColor Desktop::colourAt(QPoint at)
{
    const QImage shot = screenshot();
    return shot.isNull() ? QColor() : QColor(shot.pixel(at));
}

bool Desktop::closeWindow(const QString &windowId)
{
    xcb_connection_t *c = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return false;
    }
    const auto atom = [c](const char *name) -> xcb_atom_t {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return a;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(windowId.toULong());
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Wait for the server's answer before hanging up: it may drop the requests of a client
    // that has gone.
    xcb_generic_error_t *error =
        xcb_request_check(c, xcb_send_event_checked(c, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                                                    reinterpret_cast<const char *>(&event)));
    const bool ok = error == nullptr;
    free(error);
    xcb_disconnect(c);
    return ok;
}

} // namespace kalveno::test
