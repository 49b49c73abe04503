#include "trafficwindow.h"

#include "logfile.h"
#include "platform/locations.h"
#include "platform/trafficrecord.h"
#include "resender.h"
#include "trafficcounters.h"
#include "trafficexport.h"
#include "trafficmodel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// Typing a search waits for a pause in the keys, as each new text reads the source again.
constexpr int SearchDelay = 300;
constexpr int SampleInterval = 1000;

QAction *toggle(QToolBar *bar, const QString &text)
{
    QAction *action = bar->addAction(text);
    action->setCheckable(true);
    action->setChecked(true);
    return action;
}

} // namespace

TrafficWindow::TrafficWindow(TrafficRecord &record)
    : TrafficWindow(std::make_unique<RecordSource>(record), &record)
{
    setWindowTitle(u"Traffic"_s);
    // Everything the record still holds, then every entry as it comes.
    for (qint64 s = record.first(); s < record.end(); ++s)
        m_counters->count(record.at(s));
}

TrafficWindow::TrafficWindow(std::unique_ptr<LogFile> log)
    : TrafficWindow(std::move(log), nullptr)
{
    setWindowTitle(u"Traffic log: "_s +
                   QFileInfo(static_cast<const LogFile &>(*m_source).path()).fileName());
}

TrafficWindow::TrafficWindow(std::unique_ptr<TrafficSource> source, TrafficRecord *record)
    : m_record(record)
    , m_source(std::move(source))
    , m_model(std::make_unique<TrafficModel>(*m_source))
    , m_counters(record ? std::make_unique<TrafficCounters>() : nullptr)
{
    build();
    wire();
}

TrafficWindow::~TrafficWindow() = default;

void TrafficWindow::build()
{
    resize(1100, 600);
    QMenu *file = menuBar()->addMenu(u"&File"_s);
    m_openLog = file->addAction(u"&Open log..."_s);
    m_openLog->setShortcut(QKeySequence::Open);
    m_export = file->addAction(u"&Export..."_s);
    m_export->setShortcut(Qt::CTRL | Qt::Key_E);
    file->addSeparator();
    m_close = file->addAction(u"&Close"_s);
    m_close->setShortcut(QKeySequence::Close);
    QMenu *edit = menuBar()->addMenu(u"&Edit"_s);
    m_copy = edit->addAction(u"&Copy rows"_s);
    m_copy->setShortcut(QKeySequence::Copy);
    m_selectAll = edit->addAction(u"Select &all"_s);
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    edit->addSeparator();
    m_sendAgain = edit->addAction(u"Send &again"_s);
    m_sendAgain->setShortcut(Qt::CTRL | Qt::Key_R);
    m_sendAgainTimed = edit->addAction(u"Send again with the recorded &gaps"_s);
    m_sendAgainTimed->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_R);
    m_stopSending = edit->addAction(u"&Stop sending"_s);
    // Until the window is given the console's links.
    for (QAction *action : {m_sendAgain, m_sendAgainTimed, m_stopSending})
        action->setEnabled(false);

    QToolBar *bar = addToolBar(u"Filter"_s);
    bar->setMovable(false);
    m_link = new QComboBox(bar);
    m_link->addItem(u"All links"_s);
    m_link->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    bar->addWidget(m_link);
    m_sent = toggle(bar, u"\u2192 Sent"_s);
    m_received = toggle(bar, u"\u2190 Received"_s);
    m_events = toggle(bar, u"\u2022 Events"_s);
    bar->addSeparator();
    m_search = new QLineEdit(bar);
    m_search->setPlaceholderText(u"Search hex, characters, meaning"_s);
    m_search->setClearButtonEnabled(true);
    m_search->setMinimumWidth(260);
    bar->addWidget(m_search);
    bar->addSeparator();
    m_pause = bar->addAction(u"Pause"_s);
    m_pause->setCheckable(true);
    m_clear = bar->addAction(u"Clear"_s);
    bar->addAction(m_copy);
    m_pause->setVisible(m_record != nullptr);
    m_clear->setVisible(m_record != nullptr);

    m_table = new QTableView;
    m_table->setModel(m_model.get());
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_table->setWordWrap(false);
    // The model already cuts long cells; measuring each for an ellipsis at every paint would
    // cost more than the rest of the paint.
    m_table->setTextElideMode(Qt::ElideNone);
    m_table->setShowGrid(false);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->addAction(m_copy);
    m_table->addAction(m_sendAgain);
    m_table->addAction(m_sendAgainTimed);
    // Every row has one height and every column its own width: nothing is measured from the
    // rows, however many there are.
    QHeaderView *rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    QHeaderView *columns = m_table->horizontalHeader();
    columns->setStretchLastSection(true);
    const int digit = m_table->fontMetrics().horizontalAdvance(u'0');
    const int fixed =
        QFontMetrics(QFontDatabase::systemFont(QFontDatabase::FixedFont)).horizontalAdvance(u'0');
    columns->resizeSection(TrafficModel::Time, 14 * digit);
    columns->resizeSection(TrafficModel::Link, 10 * digit);
    columns->resizeSection(TrafficModel::Direction, 12 * digit);
    columns->resizeSection(TrafficModel::Count, 7 * digit);
    columns->resizeSection(TrafficModel::Hex, 48 * fixed);
    columns->resizeSection(TrafficModel::Characters, 24 * fixed);

    if (!m_counters) {
        setCentralWidget(m_table);
    } else {
        auto *split = new QSplitter(Qt::Vertical);
        split->addWidget(m_table);
        m_countersTable = new QTableView;
        m_countersTable->setModel(m_counters.get());
        m_countersTable->verticalHeader()->hide();
        m_countersTable->verticalHeader()->setDefaultSectionSize(rows->defaultSectionSize());
        m_countersTable->setSelectionMode(QAbstractItemView::NoSelection);
        m_countersTable->setFocusPolicy(Qt::NoFocus);
        m_countersTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        m_countersTable->horizontalHeader()->setStretchLastSection(true);
        split->addWidget(m_countersTable);
        split->setStretchFactor(0, 1);
        split->setSizes({460, 110});
        setCentralWidget(split);
    }
    m_state = new QLabel;
    statusBar()->addWidget(m_state, 1);

    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(SearchDelay);
    m_sampler.setInterval(SampleInterval);
}

void TrafficWindow::wire()
{
    TrafficModel *model = m_model.get();
    connect(m_link, &QComboBox::activated, this, &TrafficWindow::applyFilter);
    for (QAction *direction : {m_sent, m_received, m_events})
        connect(direction, &QAction::toggled, this, &TrafficWindow::applyFilter);
    connect(m_search, &QLineEdit::textChanged, &m_searchDelay, qOverload<>(&QTimer::start));
    connect(&m_searchDelay, &QTimer::timeout, this, &TrafficWindow::applyFilter);
    connect(m_pause, &QAction::toggled, model, &TrafficModel::setPaused);
    connect(m_clear, &QAction::triggered, this, [this] {
        m_model->clear();
        if (m_counters)
            m_counters->reset();
        // No view shows the record's older entries any more: what the log has stored goes.
        if (m_record)
            m_record->clear();
    });
    connect(m_copy, &QAction::triggered, this, &TrafficWindow::copySelection);
    connect(m_selectAll, &QAction::triggered, m_table, &QTableView::selectAll);
    connect(m_sendAgain, &QAction::triggered, this, [this] { sendAgain(false); });
    connect(m_sendAgainTimed, &QAction::triggered, this, [this] { sendAgain(true); });
    connect(m_export, &QAction::triggered, this, &TrafficWindow::chooseExport);
    connect(m_openLog, &QAction::triggered, this, &TrafficWindow::openLogAsked);
    connect(m_close, &QAction::triggered, this, &QWidget::close);

    connect(model, &TrafficModel::linkFound, m_link,
            [this](const QString &link) { m_link->addItem(link); });
    connect(model, &TrafficModel::updated, this, &TrafficWindow::showState);
    QScrollBar *scroll = m_table->verticalScrollBar();
    connect(scroll, &QScrollBar::valueChanged, this,
            [this, scroll](int value) { m_following = value == scroll->maximum(); });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_following)
            m_table->scrollToBottom();
    });
    // The oldest rows leave from the top: a user who scrolled up keeps the rows he reads.
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this, scroll](const QModelIndex &, int first, int last) {
                if (!m_following)
                    scroll->setValue(scroll->value() - (last - first + 1));
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_following = true; });

    if (m_record) {
        connect(m_record, &TrafficRecord::appended, this, [this](const TrafficEntry &entry) {
            m_counters->count(entry);
            m_model->sourceChanged();
        });
        connect(m_record, &TrafficRecord::trimmed, model, &TrafficModel::sourceChanged);
        connect(&m_sampler, &QTimer::timeout, this,
                [this] { m_counters->sample(m_sinceSample.restart()); });
    }
}

void TrafficWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_model->setActive(true);
    if (m_record) {
        m_counters->sample(0); // the rates count from now
        m_sinceSample.start();
        m_sampler.start();
    }
}

void TrafficWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    m_model->setActive(false);
    m_sampler.stop();
}

void TrafficWindow::applyFilter()
{
    m_searchDelay.stop();
    TrafficFilter filter;
    if (m_link->currentIndex() > 0)
        filter.link = m_link->currentText();
    filter.sent = m_sent->isChecked();
    filter.received = m_received->isChecked();
    filter.events = m_events->isChecked();
    filter.text = m_search->text().trimmed();
    m_model->setFilter(filter);
}

void TrafficWindow::showState()
{
    QString state = u"%1 rows"_s.arg(QLocale().toString(m_model->rowCount()));
    if (m_model->isFull()) {
        state +=
            u", as many as a view holds: the log is read no further than %1%; a filter or a "
            u"search shows later rows"_s.arg(m_model->readUpTo() * 100 / qMax(1, m_source->end()));
    } else if (!m_model->isCurrent()) {
        if (m_model->isPaused())
            state += u", paused: %1 entries waiting"_s.arg(
                QLocale().toString(m_source->end() - m_model->readUpTo()));
        else if (!m_record)
            state += u", reading: %1%"_s.arg(m_model->readUpTo() * 100 / qMax(1, m_source->end()));
        else
            state += u", catching up"_s;
    } else if (m_model->isPaused()) {
        state += u", paused"_s;
    }
    if (!m_model->filter().text.isEmpty())
        state += u", searching for \u201C%1\u201D"_s.arg(m_model->filter().text);
    m_state->setText(state);
}

void TrafficWindow::copySelection()
{
    QList<int> rows;
    for (const QItemSelectionRange &range : m_table->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    QApplication::clipboard()->setText(
        QString::fromUtf8(trafficexport::logLines(*m_source, m_model->keysOf(rows))));
}

void TrafficWindow::setLinks(LinkSender *links)
{
    // A view without links (a saved log read outside a console) sends nothing again.
    if (!links)
        return;
    m_resender = std::make_unique<Resender>(*m_source, *links);
    connect(m_resender.get(), &Resender::progress, this,
            [this](const QString &state) { statusBar()->showMessage(state); });
    connect(m_resender.get(), &Resender::finished, this, [this](const QString &summary) {
        m_stopSending->setEnabled(false);
        statusBar()->showMessage(summary, 10000);
    });
    connect(m_stopSending, &QAction::triggered, m_resender.get(), &Resender::stop);
    m_sendAgain->setEnabled(true);
    m_sendAgainTimed->setEnabled(true);
}

void TrafficWindow::sendAgain(bool keepGaps)
{
    if (!m_resender)
        return;
    QList<qint64> keys;
    for (const QItemSelectionRange &range : m_table->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            keys.append(m_model->key(row));
    }
    m_resender->stop();
    QString why;
    if (m_resender->start(keys, keepGaps, &why))
        m_stopSending->setEnabled(true);
    else
        statusBar()->showMessage(u"Send again: "_s + why, 5000);
}

void TrafficWindow::chooseExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, u"Export the rows shown"_s, locations::sessionsFolder() + u"/traffic.csv"_s,
        u"CSV (*.csv)"_s);
    if (!path.isEmpty())
        exportCsv(path);
}

bool TrafficWindow::exportCsv(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !trafficexport::writeCsv(file, *m_source, m_model->keys()) || !file.commit()) {
        statusBar()->showMessage(
            u"%1 was not written: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    statusBar()->showMessage(
        u"%1 rows written to %2"_s.arg(m_model->rowCount()).arg(QDir::toNativeSeparators(path)),
        5000);
    return true;
}

} // namespace kalveno
