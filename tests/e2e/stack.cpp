#include "stack.h"

#include "app/inventory.h"
#include "protocol/logline.h"
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

// The suite names the simulator's links tcp1, tcp2, udp, serial and sim; the simulator runs on
// its default ports, where the console's configuration points.
QString shortName(const QString &link)
{
    return link == u"TCP 1024"   ? u"tcp1"_s
           : link == u"TCP 1025" ? u"tcp2"_s
           : link == u"UDP"      ? u"udp"_s
                                 : link;
}

// A line of the simulator's log as the suite's queries read it: "<link> state <event>", or
// "<link> rx|tx text "<bytes as text>" <meaning>".
QString readable(const logline::Line &line)
{
    if (line.direction == logline::Direction::Event)
        return shortName(line.link) + u" state "_s + line.meaning;
    return u"%1 %2 text \"%3\" %4"_s.arg(
        shortName(line.link), line.direction == logline::Direction::Sent ? u"tx"_s : u"rx"_s,
        QString::fromLatin1(line.bytes), line.meaning);
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
    m_config.writeConfig("FICHIER DE CONFIGURATION POUR MERIXO INC (BRIDGE TCPIP / RS-232)\r\n"
                         " 1 \r\n127.0.0.1\r\n");
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

QStringList Stack::log() const
{
    QFile file(m_logFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray Stack::received(const QString &link, qsizetype from) const
{
    // Raw chunks are the received lines without a meaning.
    QByteArray bytes;
    const QStringList lines = log();
    for (qsizetype i = from; i < lines.size(); ++i) {
        const std::optional<logline::Line> line = logline::parse(lines[i].toLatin1());
        if (line && line->direction == logline::Direction::Received && line->meaning.isEmpty() &&
            shortName(line->link) == link)
            bytes += line->bytes;
    }
    return bytes;
}

bool Stack::waitForReceived(const QString &link, qsizetype from, const QByteArray &bytes,
                            int timeoutMs)
{
    return QTest::qWaitFor([&] { return received(link, from).contains(bytes); }, timeoutMs);
}

bool Stack::waitForLog(const QString &text, qsizetype from, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            const QStringList lines = log();
            for (qsizetype i = from; i < lines.size(); ++i) {
                const std::optional<logline::Line> line = logline::parse(lines[i].toLatin1());
                if (line && readable(*line).contains(text))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

bool Stack::waitForSessionLine(const QString &link, const QByteArray &bytes, int timeoutMs)
{
    const QString folder = qEnvironmentVariable("XDG_STATE_HOME") + u"/kalveno/sessions"_s;
    return QTest::qWaitFor(
        [&] {
            const auto files = QDir(folder).entryInfoList({u"*.log"_s}, QDir::Files);
            for (const QFileInfo &info : files) {
                QFile file(info.filePath());
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QList<QByteArray> lines = file.readAll().split('\n');
                for (const QByteArray &text : lines) {
                    const std::optional<logline::Line> line = logline::parse(text);
                    if (line && line->link == link && line->bytes == bytes)
                        return true;
                }
            }
            return false;
        },
        timeoutMs);
}

} // namespace kalveno::test
