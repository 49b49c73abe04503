#pragma once

#include "frameextractor.h"
#include "iofirmware.h"
#include "log.h"
#include "outputs.h"
#include "ptyline.h"
#include "readermaster.h"
#include "tcpport.h"
#include "textcommand.h"
#include "turnstilefirmware.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <array>

namespace kalveno::sim {

struct Options
{
    QHostAddress tcpAddress{QHostAddress::LocalHost};
    quint16 tcpPort = 1024;  // the bridge's first serial port
    quint16 tcp2Port = 1025; // its second serial port
    QHostAddress udpAddress{QHostAddress::AnyIPv4};
    quint16 udpPort = 1024;
    QString linkPath; // a symbolic link to the serial line's device, made at start
    std::array<bool, 2> inputs{};
    bool ioFirmware = true;
    bool turnstileFirmware = true;
    TurnstileSettings turnstile;
    ReaderMaster::Timing reader;
    // A partial frame or command that has seen no byte for this long is taken as it is.
    int quietMs = 200;
};

// The bridge: its links and firmware wired together. Bytes from the TCP client of the first port
// go to the serial line and back; command frames on any link go to the I/O firmware, which
// answers on the same link; text commands from the first port go to the turnstile firmware; the
// second port has nothing on its serial line and echoes what it gets, as if a loop-back plug sat
// there. While the turnstile polls its RFID reader, the serial line belongs to the reader: its
// bytes go to the reader master alone, and bytes from TCP for the line are dropped.
class Simulator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Simulator)

public:
    Simulator(const Options &options, Log *log, QObject *parent = nullptr);
    ~Simulator() override;

    bool start(QString *error);

    quint16 tcpPort() const { return m_tcp1.port(); }
    quint16 tcp2Port() const { return m_tcp2.port(); }
    quint16 udpPort() const { return m_udp.localPort(); }
    QString serialPath() const { return m_line.slavePath(); }
    // Lines that say where the simulator can be reached, for whoever started it.
    QStringList endpoints() const;

    struct Reply
    {
        QString text; // empty for nothing to say
        bool quit = false;
    };
    // One line of the control channel: input 1|2 on|off, drop, unplug, plug, polling on|off,
    // status, help, quit.
    Reply control(const QString &line);
    QString status() const;

    void setInput(int input, bool on);
    void dropClients();
    void setPlugged(bool plugged);
    bool setPolling(bool on);

    const Outputs &outputs() const { return m_outputs; }
    const TurnstileFirmware &turnstile() const { return m_turnstile; }

private:
    // What arrives on one stream link, cut into frames, commands and data.
    struct Inbound
    {
        FrameExtractor frames;
        CommandSplitter commands;
        QTimer quiet;
    };

    void wire();
    bool makeLink(QString *error);
    void removeLink();

    void feed(Link link, QByteArrayView bytes);
    void drainFrames(Link link);
    void takeFrameItem(Link link, const FrameExtractor::Item &item);
    void passOn(Link link, QByteArrayView bytes);
    void takeCommandItem(Link link, const CommandSplitter::Item &item);
    void onQuiet(Link link);
    void deliver(Link from, QByteArrayView bytes);
    void resetInbound(Link link);
    Inbound &inbound(Link link);

    void onFrame(Link link, QByteArrayView payload);
    void onTextCommand(QByteArrayView text);
    void onSerialBytes(const QByteArray &bytes);
    void onDatagrams();
    void run(const ReaderMaster::Step &step);
    void reportCard(const ReaderMaster::Card &card);
    void updatePolling();

    // Writes on a stream link and logs what went and what was dropped.
    void transmit(Link link, QByteArrayView bytes);

    Options m_options;
    Log *m_log;
    Outputs m_outputs;
    IoFirmware m_io;
    TurnstileFirmware m_turnstile;
    ReaderMaster m_reader;
    QTimer m_readerTimer;
    TcpPort m_tcp1;
    TcpPort m_tcp2;
    QUdpSocket m_udp;
    PtyLine m_line;
    Inbound m_tcp1In;
    Inbound m_tcp2In;
    Inbound m_serialIn;
    bool m_linkMade = false;
};

} // namespace kalveno::sim
