#include "mainwindow.h"

#include "app/configstore.h"
#include "app/inventory.h"
#include "app/settings.h"
#include "platform/locations.h"
#include "platform/serialports.h"
#include "portpicker/portpickerdialog.h"
#include "protocol/number.h"
#include "traffic/trafficviews.h"
#include "widgets/look.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTime>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace kalveno {

namespace {

// The window's 32 by 32 icon: a bridge box with a serial and a network side.
QIcon consoleIcon()
{
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(4, 9, 23, 14);
    p.setBrush(QColor(0, 255, 0));
    p.drawRect(7, 13, 4, 4);
    p.setBrush(QColor(255, 0, 0));
    p.drawRect(13, 13, 4, 4);
    p.setPen(QPen(QColor(255, 255, 0), 2));
    p.drawLine(0, 16, 4, 16);
    p.drawLine(27, 16, 31, 16);
    return QIcon(icon);
}

} // namespace

MainWindow::MainWindow(const ConsoleSettings &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_designArea(new QWidget(this))
    , m_portPicker(new PortPickerDialog(this))
{
    installFontSubstitutes();
    if (!settings.readProblem.isEmpty())
        m_settingsProblem = u"%1 could not be read (%2); defaults used"_s.arg(
            locations::settingsFile(), settings.readProblem);
    else if (!settings.problems.isEmpty())
        m_settingsProblem =
            u"%1: %2"_s.arg(locations::settingsFile(), settings.problems.join(u"; "_s));
    setWindowTitle(u"KALVENO DIAG   "_s + MakerAddress.toString() + u"  Ver. 1.1K"_s);
    setWindowIcon(consoleIcon());
    setFont(formFont());
    m_designArea->setObjectName(u"F_MAIN"_s);
    setCentralWidget(m_designArea);
    buildInventory(m_designArea);
    statusBar()->setSizeGripEnabled(true);

    m_panels = std::make_unique<Panels>(
        m_designArea, settings,
        Panels::Platform{.devices = &serialDevice, .sessionsFolder = locations::sessionsFolder()});
    m_traffic = std::make_unique<TrafficViews>(m_panels->record, &m_panels->resendLinks, this);
    // The menu bar goes above the design area, which keeps its size: the window grows instead.
    m_traffic->addMenus(menuBar());
    m_serialPortsAction = menuBar()->addMenu(u"&Port"_s)->addAction(u"&Serial ports..."_s);
    resize(twips(13710),
           menuBar()->sizeHint().height() + twips(5460) + statusBar()->sizeHint().height());
    m_config =
        std::make_unique<ConfigStore>(m_panels->views.serialPort.INP_COMM_NO,
                                      m_panels->views.tcpLink.INP_IP_ADR, locations::configFile());

    lockFolder();
    wire();
    Form_Load();
}

MainWindow::~MainWindow()
{
    // The traffic views first, which read the record and send on the panels' links; then the
    // panels, which close the session log before anything it could signal into goes.
    m_traffic.reset();
    m_panels.reset();
}

void MainWindow::lockFolder()
{
    // A lock whose process has gone (a crash) is taken over, however old it is.
    if (!QDir().mkpath(locations::folder()))
        return;
    m_folderLock = std::make_unique<QLockFile>(locations::folder() + u"/kalveno.lock"_s);
    m_folderLock->setStaleLockTime(0);
    if (m_folderLock->tryLock() || m_folderLock->error() != QLockFile::LockFailedError)
        return;
    qint64 pid = 0;
    QString host, application;
    m_folderLock->getLockInfo(&pid, &host, &application);
    m_sharedFolder =
        u"another console (process %1) already runs on %2: both use its files, the one closed "
        "last writes the configuration file, and two consoles on one bridge knock each other "
        "off"_s.arg(pid)
            .arg(locations::folder());
}

void MainWindow::wire()
{
    Panels &panels = *m_panels;
    connect(&panels.reporter, &Reporter::reported, this, [this](const QString &message) {
        statusBar()->showMessage(QTime::currentTime().toString(u"HH:mm:ss "_s) + message);
    });
    // The status bar's right end keeps what "COMM:" holds, or why it holds nothing, while the
    // reports of both links come and go at its left.
    auto *serialState = new QLabel(statusBar());
    statusBar()->addPermanentWidget(serialState);
    connect(&panels.serialLink, &LinkState::changed, this, [this, &panels, serialState] {
        serialState->setText(panels.serialLink.reason());
        m_portPicker->setOpenPort(panels.serial.isOpen() ? panels.serial.device() : QString(),
                                  panels.serial.linkName());
    });
    wirePortPicker();
}

void MainWindow::wirePortPicker()
{
    QLineEdit *number = m_panels->views.serialPort.INP_COMM_NO;
    // The port number in "COMM:", read as the serial port controller reads it.
    const auto typedNumber = [number] {
        return LeadingNumber::parse(number->text()).roundedIn(1, 32767);
    };
    connect(m_serialPortsAction, &QAction::triggered, this,
            [this, typedNumber] { m_portPicker->showFor(int(typedNumber().value_or(1))); });
    // The field's own menu (undo, copy, paste...) with the port picker below it.
    number->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(number, &QWidget::customContextMenuRequested, this, [this, number](const QPoint &at) {
        QMenu *menu = number->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(m_serialPortsAction);
        menu->popup(number->mapToGlobal(at));
    });
    // The number in use now names another device: it is opened as typing the number opens it.
    SerialPortController &serialPort = m_panels->serialPort;
    connect(m_portPicker, &PortPickerDialog::mappingChanged, this,
            [&serialPort, typedNumber](int changed) {
                if (typedNumber() == changed)
                    serialPort.mappingChanged();
            });
}

void MainWindow::Form_Load()
{
    Panels &panels = *m_panels;
    panels.views.serialPort.INP_COMM_NO->setText(u"1"_s);
    panels.views.serialPort.INP_COMM_CFG->setText(u"9600,N,8,1"_s);
    QStringList problems;
    if (!m_sharedFolder.isEmpty())
        problems << m_sharedFolder;
    if (!m_settingsProblem.isEmpty())
        problems << m_settingsProblem;
    if (!m_config->LOAD_CONFIG())
        problems << m_config->lastError();
    // A first start, with no configuration file yet, leaves both fields empty.
    QStringList toType;
    if (panels.views.tcpLink.INP_IP_ADR->text().isEmpty())
        toType << u"the bridge's address into \"IP:\""_s;
    if (panels.views.serialPort.INP_COMM_NO->text().trimmed().isEmpty())
        toType << u"the serial port's number into \"COMM:\" (1 for the first)"_s;
    if (!toType.isEmpty())
        problems << u"To begin, type "_s + toType.join(u" and "_s);
    panels.supervisor.TIM_CONNECT_TCP_Timer();
    if (!panels.bindBroadcasts())
        problems << u"UDP: cannot bind: %1"_s.arg(panels.udp.lastError());
    if (!problems.isEmpty())
        panels.reporter.report(problems.join(u"; "_s));
    panels.supervisor.timer().start();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_ending)
        Form_Unload();
}

void MainWindow::Form_Unload()
{
    m_ending = true;
    m_panels->sendTest.abort();
    m_panels->tcp.close();
    QCoreApplication::processEvents();
    if (!m_config->SAVE_CONFIG()) {
        std::fprintf(stderr, "kalveno: the configuration file %s was not written: %s\n",
                     qPrintable(m_config->path()), qPrintable(m_config->lastError()));
    }
    QCoreApplication::processEvents();
    m_panels->stop();
    Q_EMIT ended();
}

} // namespace kalveno
