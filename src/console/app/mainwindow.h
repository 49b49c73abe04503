#pragma once

#include "app/panels.h"

#include <QMainWindow>

#include <memory>

class QLockFile;

namespace kalveno {

class ConfigStore;
class PortPickerDialog;
class TrafficViews;
struct ConsoleSettings;

// F_MAIN: the console's one main window. It owns every control, and the panels behind them
// (both sockets, the serial port, the link models, the timers and every controller, built and
// wired on its design area by Panels); it adds its menus, its status bar and the port picker,
// and runs the start-up sequence before it is first shown. It holds a lock in its configuration
// folder while it runs, so that a second console started on the same folder is told at start
// that it shares its files (and likely its bridge).
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(const ConsoleSettings &settings, QWidget *parent = nullptr);
    ~MainWindow() override;

    QWidget *designArea() const { return m_designArea; }
    Panels &panels() { return *m_panels; }
    const LinkState &tcpLink() const { return m_panels->tcpLink; }
    const LinkState &serialLink() const { return m_panels->serialLink; }
    TrafficRecord &record() { return m_panels->record; }

Q_SIGNALS:
    // The shut-down sequence has run; the program ends here.
    void ended();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wire();
    void wirePortPicker();
    void lockFolder();
    void Form_Load();
    void Form_Unload();

    QWidget *m_designArea;
    PortPickerDialog *m_portPicker;
    QAction *m_serialPortsAction = nullptr;
    std::unique_ptr<Panels> m_panels;
    std::unique_ptr<TrafficViews> m_traffic;
    std::unique_ptr<ConfigStore> m_config;
    std::unique_ptr<QLockFile> m_folderLock;
    QString m_settingsProblem;
    QString m_sharedFolder;
    bool m_ending = false;
};

} // namespace kalveno
