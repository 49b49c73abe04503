#include "trafficviews.h"

#include "logfile.h"
#include "platform/locations.h"
#include "trafficwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace kalveno {

TrafficViews::TrafficViews(TrafficRecord &record, LinkSender *links, QWidget *owner)
    : m_links(links)
    , m_owner(owner)
    , m_live(std::make_unique<TrafficWindow>(record))
{
    m_live->setLinks(links);
    connect(m_live.get(), &TrafficWindow::openLogAsked, this, [this] { chooseLog(m_live.get()); });
}

TrafficViews::~TrafficViews()
{
    for (const QPointer<TrafficWindow> &log : std::as_const(m_logs))
        delete log.data();
}

void TrafficViews::addMenus(QMenuBar *bar)
{
    QAction *open = bar->addMenu(u"&File"_s)->addAction(u"&Open log..."_s);
    connect(open, &QAction::triggered, this, [this] { chooseLog(m_owner); });
    QAction *traffic = bar->addMenu(u"&View"_s)->addAction(u"&Traffic"_s);
    traffic->setShortcut(Qt::CTRL | Qt::Key_T);
    connect(traffic, &QAction::triggered, this, &TrafficViews::showLive);
}

void TrafficViews::showLive()
{
    m_live->show();
    m_live->raise();
    m_live->activateWindow();
}

TrafficWindow *TrafficViews::openLog(const QString &path, QString *error)
{
    std::unique_ptr<LogFile> log = LogFile::open(path, error);
    if (!log)
        return nullptr;
    auto *window = new TrafficWindow(std::move(log));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setLinks(m_links);
    connect(window, &TrafficWindow::openLogAsked, this, [this, window] { chooseLog(window); });
    m_logs.removeAll(nullptr);
    m_logs.append(window);
    window->show();
    return window;
}

void TrafficViews::chooseLog(QWidget *over)
{
    const QString path =
        QFileDialog::getOpenFileName(over, u"Open a session log"_s, locations::sessionsFolder(),
                                     u"Logs (*.log *.txt);;All files (*)"_s);
    QString error;
    if (!path.isEmpty() && !openLog(path, &error))
        QMessageBox::warning(over, u"Open log"_s,
                             u"%1 cannot be read: %2"_s.arg(QDir::toNativeSeparators(path), error));
}

} // namespace kalveno
