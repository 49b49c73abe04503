#include "portlistmodel.h"

#include <QFileInfo>
#include <QFont>
#include <QPalette>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

QString givenBy(const PortNumber &number)
{
    switch (number.source) {
    case PortSource::Mapping:
        return u"kalveno.ini"_s;
    case PortSource::Link:
        return u"link com%1"_s.arg(number.number);
    case PortSource::Default:
        break;
    }
    return u"default"_s;
}

QString text(const SerialPortEntry &port, int column)
{
    QStringList parts;
    switch (column) {
    case PortListModel::Number:
        for (const PortNumber &n : port.numbers)
            parts << QString::number(n.number);
        return parts.join(u", "_s);
    case PortListModel::GivenBy:
        for (const PortNumber &n : port.numbers)
            parts << givenBy(n);
        for (const PortNumber &n : port.overridden)
            parts << u"link com%1, overridden by kalveno.ini"_s.arg(n.number);
        // A link and the default name their one number each; the rest come from kalveno.ini.
        parts.removeDuplicates();
        return parts.join(u", "_s);
    case PortListModel::Device:
        return port.device;
    case PortListModel::StableName:
        return port.stableName;
    case PortListModel::Description:
        return port.description;
    case PortListModel::Manufacturer:
        return port.manufacturer;
    case PortListModel::SerialNumber:
        return port.serialNumber;
    case PortListModel::UsbIds:
        if (!port.vendorId || !port.productId)
            return {};
        return u"%1:%2"_s.arg(*port.vendorId, 4, 16, QChar(u'0'))
            .arg(*port.productId, 4, 16, QChar(u'0'));
    case PortListModel::State:
        return port.present ? u"present"_s : u"absent"_s;
    }
    return {};
}

} // namespace

PortListModel::PortListModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

bool PortListModel::setPorts(const QList<SerialPortEntry> &ports)
{
    if (ports == m_ports)
        return false;
    beginResetModel();
    m_ports = ports;
    endResetModel();
    return true;
}

void PortListModel::setOpenPort(const QString &device, const QString &link)
{
    // The rows name present ports by the device their names lead to.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    const QString open = canonical.isEmpty() ? device : canonical;
    if (open == m_openDevice && link == m_openLink)
        return;
    m_openDevice = open;
    m_openLink = link;
    if (!m_ports.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(m_ports.size()) - 1, ColumnCount - 1));
}

bool PortListModel::isOpen(const SerialPortEntry &port) const
{
    return !m_openDevice.isEmpty() && port.present && port.device == m_openDevice;
}

const SerialPortEntry *PortListModel::port(int row) const
{
    return row >= 0 && row < m_ports.size() ? &m_ports[row] : nullptr;
}

int PortListModel::rowOf(const QString &device) const
{
    for (int row = 0; row < m_ports.size(); ++row) {
        if (m_ports[row].device == device)
            return row;
    }
    return -1;
}

int PortListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ports.size());
}

int PortListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PortListModel::data(const QModelIndex &index, int role) const
{
    const SerialPortEntry *p = port(index.row());
    if (!p)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.column() == State && isOpen(*p))
            return u"open as %1"_s.arg(m_openLink);
        return text(*p, index.column());
    }
    if (role == Qt::FontRole && isOpen(*p)) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::ForegroundRole && !p->present)
        return QPalette().color(QPalette::Disabled, QPalette::Text);
    return {};
}

QVariant PortListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList Titles = {
        u"No."_s,           u"Given by"_s,           u"Device"_s,
        u"Stable name"_s,   u"Description"_s,        u"Manufacturer"_s,
        u"Serial number"_s, u"USB vendor:product"_s, u"State"_s};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= Titles.size())
        return {};
    return Titles[section];
}

} // namespace kalveno
