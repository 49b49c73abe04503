#include "portpickerdialog.h"

#include "widgets/look.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kalveno {

PortPickerDialog::PortPickerDialog(QWidget *parent)
    : QDialog(parent)
    , m_table(new QTableView(this))
    , m_problems(new QLabel(this))
    , m_outcome(new QLabel(this))
    , m_number(new QSpinBox(this))
    , m_give(new QPushButton(u"&Give this number to the selected port"_s, this))
    , m_remove(new QPushButton(this))
{
    setWindowTitle(u"Serial ports"_s);
    m_table->setModel(&m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_problems->setWordWrap(true);
    setForeground(m_problems, QColor(160, 0, 0));
    m_outcome->setWordWrap(true);
    m_number->setRange(1, 32767);
    m_number->setObjectName(u"number"_s);
    m_give->setObjectName(u"give"_s);
    m_remove->setObjectName(u"remove"_s);

    // The controls that give numbers, in a row of their own that Windows does without.
    auto *mapping = new QWidget(this);
    auto *numberLabel = new QLabel(u"&Number:"_s, mapping);
    numberLabel->setBuddy(m_number);
    auto *numberRow = new QHBoxLayout(mapping);
    numberRow->setContentsMargins({});
    numberRow->addWidget(numberLabel);
    numberRow->addWidget(m_number);
    numberRow->addWidget(m_give);
    numberRow->addWidget(m_remove);
    numberRow->addStretch();
    auto *close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(m_problems);
    layout->addWidget(mapping);
    layout->addWidget(m_outcome);
    layout->addWidget(close);
    if constexpr (!PortNumbersCanBeMapped) {
        mapping->hide();
        m_outcome->setText(u"Port number n is the system's COMn."_s);
    }
    resize(1100, 360);

    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &PortPickerDialog::refresh);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PortPickerDialog::updateButtons);
    connect(m_number, &QSpinBox::valueChanged, this, &PortPickerDialog::updateButtons);
    connect(m_give, &QPushButton::clicked, this, &PortPickerDialog::giveNumber);
    connect(m_remove, &QPushButton::clicked, this, &PortPickerDialog::removeMapping);
    updateButtons();
}

void PortPickerDialog::showFor(int number)
{
    m_number->setValue(number);
    if constexpr (PortNumbersCanBeMapped)
        m_outcome->clear();
    show();
    raise();
    activateWindow();
}

void PortPickerDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refresh();
    m_refresh.start();
}

void PortPickerDialog::hideEvent(QHideEvent *event)
{
    m_refresh.stop();
    QDialog::hideEvent(event);
}

void PortPickerDialog::refresh()
{
    const SerialPortEntry *chosen = selectedPort();
    const QString device = chosen ? chosen->device : QString();
    const SerialPortScan scan = scanSerialPorts();
    m_mappings = scan.mappings;
    m_problems->setText(scan.problems.join(u'\n'));
    m_problems->setVisible(!scan.problems.isEmpty());
    if (m_model.setPorts(scan.ports)) {
        if (const int row = m_model.rowOf(device); row >= 0)
            m_table->selectRow(row);
    }
    updateButtons();
}

const SerialPortEntry *PortPickerDialog::selectedPort() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_model.port(rows.first().row());
}

void PortPickerDialog::updateButtons()
{
    const int number = m_number->value();
    m_give->setEnabled(selectedPort() != nullptr);
    m_remove->setText(u"&Remove the mapping of %1"_s.arg(number));
    m_remove->setEnabled(m_mappings.contains(number));
}

void PortPickerDialog::giveNumber()
{
    if (const SerialPortEntry *port = selectedPort())
        store(m_number->value(), port->mappingName());
}

void PortPickerDialog::removeMapping()
{
    store(m_number->value(), {});
}

void PortPickerDialog::store(int number, const QString &device)
{
    QString error;
    if (!setPortMapping(number, device, &error)) {
        m_outcome->setText(u"Nothing stored: %1"_s.arg(error));
        return;
    }
    m_outcome->setText(u"Port %1 is now %2."_s.arg(number).arg(serialDevice(number)));
    refresh();
    Q_EMIT mappingChanged(number);
}

} // namespace kalveno
