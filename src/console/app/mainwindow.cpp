#include "mainwindow.h"

#include "app/configstore.h"
#include "app/look.h"
#include "app/statusline.h"
#include "link/tcpsupervisor.h"
#include "platform/locations.h"
#include "platform/serialcontrol.h"
#include "platform/tcpcontrol.h"
#include "platform/udpcontrol.h"
#include "serial/serialportcontroller.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPainter>
#include <QStatusBar>

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
{
    installFontSubstitutes();
    setWindowTitle(u"KALVENO DIAG   "_s + MakerAddress.toString() + u"  Ver. 1.1K"_s);
    setWindowIcon(consoleIcon());
    setFont(formFont());

    auto *designArea = new QWidget(this);
    designArea->setObjectName(u"F_MAIN"_s);
    setCentralWidget(designArea);
    m_ui = MainWindowUi::build(designArea);
    m_status = std::make_unique<StatusLine>(statusBar());
    statusBar()->setSizeGripEnabled(true);
    resize(twips(13710), twips(5460) + statusBar()->sizeHint().height());

    m_tcp = std::make_unique<TcpControl>();
    m_tcp->setConnectTimeout(settings.tcpConnectTimeoutMs);
    m_udp = std::make_unique<UdpControl>();
    m_udp->setRemotePort(settings.udpRemotePort);
    m_udp->setLocalPort(settings.udpLocalPort);
    m_serial = std::make_unique<SerialControl>(&locations::serialDevice);

    m_config = std::make_unique<ConfigStore>(m_ui, locations::configFile());
    m_serialPort = std::make_unique<SerialPortController>(m_ui, *m_serial);
    m_supervisor = std::make_unique<TcpSupervisor>(m_ui, *m_tcp, *m_udp);

    wire();
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::wire()
{
    auto *serialPort = m_serialPort.get();
    connect(m_ui.INP_COMM_NO, &QLineEdit::textChanged, this,
            [serialPort] { serialPort->INP_COMM_NO_Change(); });
    connect(m_ui.INP_COMM_CFG, &QLineEdit::textChanged, this,
            [serialPort] { serialPort->INP_COMM_CFG_Change(); });
    connect(m_serial.get(), &SerialControl::portLost, this, [this](const QString &reason) {
        m_status->report(u"serial port %1 lost: %2"_s.arg(m_serial->device(), reason));
    });

    auto *supervisor = m_supervisor.get();
    connect(&supervisor->timer(), &QTimer::timeout, this,
            [supervisor] { supervisor->TIM_CONNECT_TCP_Timer(); });
    connect(m_tcp.get(), &TcpControl::connected, this, [supervisor] { supervisor->TCP_Connect(); });
    connect(m_tcp.get(), &TcpControl::errorOccurred, this,
            [supervisor] { supervisor->TCP_Error(); });
    connect(m_ui.INP_IP_ADR, &QLineEdit::textChanged, this,
            [supervisor] { supervisor->INP_IP_ADR_Change(); });
    connect(m_ui.INP_IP_PORT, &QComboBox::activated, this,
            [supervisor] { supervisor->INP_IP_PORT_Click(); });
}

void MainWindow::Form_Load()
{
    m_ui.INP_COMM_NO->setText(u"1"_s);
    m_ui.INP_COMM_CFG->setText(u"9600,N,8,1"_s);
    m_config->LOAD_CONFIG();
    m_supervisor->TIM_CONNECT_TCP_Timer();
    m_udp->setRemoteHost(u"255.255.255.255"_s);
    if (!m_udp->bind())
        m_status->report(u"UDP: cannot bind: %1"_s.arg(m_udp->lastError()));
    m_supervisor->start();
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
    m_tcp->close();
    QCoreApplication::processEvents();
    if (!m_config->SAVE_CONFIG()) {
        std::fprintf(stderr, "kalveno: the configuration file %s was not written: %s\n",
                     qPrintable(m_config->path()), qPrintable(m_config->lastError()));
    }
    QCoreApplication::processEvents();
    m_supervisor->stop();
    Q_EMIT ended();
}

} // namespace kalveno
