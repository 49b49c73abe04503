#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace kalveno {

class LinkSender;
class LogFile;
class Resender;
class TrafficCounters;
class TrafficModel;
class TrafficRecord;
class TrafficSource;

// A window of rows of traffic, newest at the bottom: the console's record live, with counters
// per link, or a saved log. It follows the end until the user scrolls up, and again once back
// there. Filters, search, copy and export work alike on both; pause and clear only live.
class TrafficWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficWindow)

public:
    explicit TrafficWindow(TrafficRecord &record);
    explicit TrafficWindow(std::unique_ptr<LogFile> log);
    ~TrafficWindow() override;

    TrafficModel &model() { return *m_model; }
    // Nothing for a log.
    TrafficCounters *counters() { return m_counters.get(); }

    // The rows shown, as CSV; false when the file cannot be written, with why on the status bar.
    bool exportCsv(const QString &path);
    // The selected rows to the clipboard, as the session log's lines.
    void copySelection();
    // Lets "Send again" send on these links; without any it stays off.
    void setLinks(LinkSender *links);
    // The selected sent rows on their links again, at once or with the recorded gaps.
    void sendAgain(bool keepGaps);
    Resender *resender() { return m_resender.get(); }

Q_SIGNALS:
    void openLogAsked();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    TrafficWindow(std::unique_ptr<TrafficSource> source, TrafficRecord *record);
    void build();
    void wire();
    void applyFilter();
    void chooseExport();
    void showState();

    TrafficRecord *m_record; // the live record; nothing for a log
    std::unique_ptr<TrafficSource> m_source;
    std::unique_ptr<TrafficModel> m_model;
    std::unique_ptr<TrafficCounters> m_counters;
    std::unique_ptr<Resender> m_resender;

    QTableView *m_table;
    QTableView *m_countersTable = nullptr;
    QComboBox *m_link;
    QAction *m_sent;
    QAction *m_received;
    QAction *m_events;
    QLineEdit *m_search;
    QAction *m_pause;
    QAction *m_clear;
    QAction *m_copy;
    QAction *m_selectAll;
    QAction *m_sendAgain;
    QAction *m_sendAgainTimed;
    QAction *m_stopSending;
    QAction *m_export;
    QAction *m_openLog;
    QAction *m_close;
    QLabel *m_state;

    QTimer m_searchDelay;
    QTimer m_sampler;
    QElapsedTimer m_sinceSample;
    bool m_following = true;
};

} // namespace kalveno
