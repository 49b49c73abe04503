#pragma once

#include "portlistmodel.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

namespace kalveno {

// Port > Serial ports...: the serial ports present and those that a number names, with the
// numbers that open each one; a port chosen for a number is stored in kalveno.ini. The list
// follows adapters that come and go while the dialog is shown, by a slow poll that stops while
// it is hidden.
class PortPickerDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortPickerDialog)

public:
    static constexpr int RefreshMs = 2000;

    explicit PortPickerDialog(QWidget *parent = nullptr);

    // Shows the dialog with number in its number field, the one in "COMM:".
    void showFor(int number);
    void refresh();
    // The port that "COMM:" holds open now, none when empty; its row says so.
    void setOpenPort(const QString &device, const QString &link)
    {
        m_model.setOpenPort(device, link);
    }

Q_SIGNALS:
    // The number opens another device from now on.
    void mappingChanged(int number);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    const SerialPortEntry *selectedPort() const;
    void giveNumber();
    void removeMapping();
    void store(int number, const QString &device);
    void updateButtons();

    PortListModel m_model;
    QTableView *m_table;
    QLabel *m_problems;
    QLabel *m_outcome;
    QSpinBox *m_number;
    QPushButton *m_give;
    QPushButton *m_remove;
    QTimer m_refresh;
    QMap<int, QString> m_mappings;
};

} // namespace kalveno
