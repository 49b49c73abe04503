#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class QMenuBar;
class QWidget;

namespace kalveno {

class LinkSender;
class TrafficRecord;
class TrafficWindow;

// The console's traffic views: the live view of its record, made at once so that its counters
// miss nothing, and shown from View > Traffic; and a view of its own for each saved log opened
// from File > Open log... Every view closes with the console.
class TrafficViews final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficViews)

public:
    // `owner` is the window the file dialogs belong to; `links`, what "Send again" sends on.
    TrafficViews(TrafficRecord &record, LinkSender *links, QWidget *owner);
    ~TrafficViews() override;

    // File > Open log... and View > Traffic (Ctrl+T).
    void addMenus(QMenuBar *bar);

    void showLive();
    // Shows the log at `path` in a view of its own; nothing when it cannot be read, with why in
    // `error`.
    TrafficWindow *openLog(const QString &path, QString *error);

private:
    void chooseLog(QWidget *over);

    LinkSender *m_links;
    QWidget *m_owner;
    std::unique_ptr<TrafficWindow> m_live;
    QList<QPointer<TrafficWindow>> m_logs;
};

} // namespace kalveno
