#pragma once

#include "checkoptions.h"
#include "report.h"

#include <QElapsedTimer>
#include <QObject>

namespace kalveno::check {

// The check of every bridge, at most `jobs` at once, in one thread; the results keep the order
// in which the bridges were given, whatever order they finish in.
class SiteCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteCheck)

public:
    explicit SiteCheck(const Options &options, QObject *parent = nullptr);

    void start();
    const SiteResult &result() const { return m_result; }

Q_SIGNALS:
    // A bridge is done; `done` of them in all.
    void progressed(qsizetype done, const kalveno::check::BridgeResult &bridge);
    // Its session log cannot be written; the check goes on without it.
    void logFailed(const QString &message);
    void finished();

private:
    void startNext();

    const Options &m_options;
    SiteResult m_result;
    QElapsedTimer m_clock;
    qsizetype m_next = 0;
    qsizetype m_running = 0;
    qsizetype m_done = 0;
};

} // namespace kalveno::check
