#pragma once

#include "platform/serialports.h"

#include <QAbstractTableModel>

namespace kalveno {

// The serial ports as rows: the numbers that open each one and what Qt knows of it, and which
// one the console holds open.
class PortListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortListModel)

public:
    enum Column {
        Number,
        GivenBy,
        Device,
        StableName,
        Description,
        Manufacturer,
        SerialNumber,
        UsbIds,
        State,
        ColumnCount
    };

    explicit PortListModel(QObject *parent = nullptr);

    // False when the ports are those shown already: the view then keeps its selection and its
    // scroll position, which a refresh every few seconds would otherwise take away.
    bool setPorts(const QList<SerialPortEntry> &ports);
    // The port that "COMM:" holds open, shown as such, and its link name; none when empty.
    void setOpenPort(const QString &device, const QString &link);
    const SerialPortEntry *port(int row) const;
    int rowOf(const QString &device) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool isOpen(const SerialPortEntry &port) const;

    QList<SerialPortEntry> m_ports;
    QString m_openDevice;
    QString m_openLink;
};

} // namespace kalveno
