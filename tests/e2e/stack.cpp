#include "stack.h"

#include "app/inventory.h"
#include "support/programs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace kalveno::test {

namespace {

// The lines of a log file that parse.
QList<logline::Line> readLog(const QString &path)
{
    QFile file(path);
    QList<logline::Line> lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &text : file.readAll().split('\n'))
            if (const std::optional<logline::Line> line = logline::parse(text))
                lines << *line;
    }
    return lines;
}

} // namespace

Stack::Stack()
    : m_logFile(m_config.folder() + u"/simulator.log"_s)
    , m_layout(std::make_unique<QWidget>())
{
    // The same inventory the console builds: the places of its controls, in pixels, below a
    // menu bar of the same style and font as the console's.
    buildInventory(m_layout.get());
    QMenuBar bar;
    bar.addMenu(u"&Port"_s);
    m_top = bar.sizeHint().height();
}

Stack::~Stack()
{
    for (QProcess *p : {&m_console, &m_simulator}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(5000))
            p->kill();
        p->waitForFinished(2000);
    }
}

bool Stack::start(const QStringList &simulatorArguments)
{
    const auto fail = [](const QString &why) {
        qWarning("start-up failed: %s", qPrintable(why));
        return false;
    };
    if (!m_desktop.isRunning())
        return fail(u"the X server did not start"_s);
    m_config.writeConfig(configFor(" 1 ", "127.0.0.1"));
    m_simulator.start(
        QStringLiteral(KALVENO_SIMULATOR),
        QStringList{u"--link"_s, m_config.folder() + u"/com1"_s, u"--log"_s, m_logFile} +
            simulatorArguments);
    QByteArray said;
    while (!said.contains("ready") && m_simulator.waitForReadyRead(20000))
        said += m_simulator.readAllStandardOutput();
    if (!said.contains("ready"))
        return fail(u"the simulator did not get ready: "_s + QString::fromLocal8Bit(said));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_desktop.display());
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"QT_LOGGING_RULES"_s);
    m_console.setProcessEnvironment(env);
    m_console.start(QStringLiteral(KALVENO_CONSOLE), {});
    if (!m_console.waitForStarted(10000))
        return fail(u"the console did not start"_s);
    m_window = m_desktop.waitForWindow(u"KALVENO DIAG"_s, 30000);
    if (m_window.isEmpty())
        return fail(u"no console window: "_s +
                    QString::fromLocal8Bit(m_console.readAllStandardError()));
    return true;
}

QPoint Stack::place(const QString &control) const
{
    const QWidget *w = m_layout->findChild<QWidget *>(control);
    if (!w)
        return {};
    if (qobject_cast<const QRadioButton *>(w) || qobject_cast<const QCheckBox *>(w))
        return w->mapTo(m_layout.get(), QPoint(6, w->height() / 2)) + QPoint(0, m_top);
    return w->mapTo(m_layout.get(), w->rect().center()) + QPoint(0, m_top);
}

QPoint Stack::backgroundOf(const QString &control) const
{
    const QWidget *w = m_layout->findChild<QWidget *>(control);
    return w ? w->mapTo(m_layout.get(), QPoint(w->width() - 5, w->height() / 2)) + QPoint(0, m_top)
             : QPoint();
}

bool Stack::click(const QString &control, int count)
{
    const QPoint at = place(control);
    return !at.isNull() && m_desktop.click(at, count);
}

QColor Stack::colourOf(const QString &control)
{
    return m_desktop.colourAt(backgroundOf(control));
}

bool Stack::waitForColour(const QString &control, const QColor &colour, int timeoutMs)
{
    return QTest::qWaitFor([&] { return colourOf(control) == colour; }, timeoutMs);
}

void Stack::tell(const QString &command)
{
    m_simulator.write(command.toLatin1() + '\n');
    m_simulator.waitForBytesWritten(2000);
}

QList<logline::Line> Stack::log() const
{
    return readLog(m_logFile);
}

bool Stack::waitForReceived(const QString &link, qsizetype from, const QByteArray &bytes,
                            int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            QByteArray received;
            for (const logline::Line &line : log().mid(from))
                if (line.direction == Direction::Received && line.meaning.isEmpty() &&
                    line.link == link)
                    received += line.bytes;
            return received.contains(bytes);
        },
        timeoutMs);
}

bool Stack::waitForLog(const QString &meaning, qsizetype from, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            const QList<logline::Line> lines = log().mid(from);
            return std::any_of(lines.begin(), lines.end(), [&](const logline::Line &line) {
                return line.meaning.contains(meaning);
            });
        },
        timeoutMs);
}

bool Stack::waitForSessionLine(const QString &link, const QByteArray &bytes, int timeoutMs)
{
    const QString folder = qEnvironmentVariable("XDG_STATE_HOME") + u"/kalveno/sessions"_s;
    return QTest::qWaitFor(
        [&] {
            for (const QFileInfo &info : QDir(folder).entryInfoList({u"*.log"_s}, QDir::Files))
                for (const logline::Line &line : readLog(info.filePath()))
                    if (line.link == link && line.bytes == bytes)
                        return true;
            return false;
        },
        timeoutMs);
}

} // namespace kalveno::test
