#pragma once

#include "readermaster.h"
#include "turnstilefirmware.h"

#include "protocol/bridgeio.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <array>
#include <map>

namespace kalveno::sim {

// What can be wrong with one bridge of a site.
enum class Fault {
    None,
    Absent,      // nothing listens at its address
    Silent,      // takes connections and bytes, and never answers
    NoTurnstile, // runs the I/O firmware alone, so nothing answers the configuration request
    LoopCorrupt, // its second port changes one byte of every send test pattern it echoes
    Input1Stuck, // input 1 always reads on
};

// What the simulator is started with: where its links listen, its firmware and their settings.
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
    // Outputs wired to inputs, as on a test jig, on every bridge.
    QList<bridgeio::JigWire> jig;
    // A site: this many bridges on consecutive addresses from tcpAddress; 0 is the one bridge
    // without --bridges.
    int bridges = 0;
    std::map<int, Fault> faults; // by bridge, from 1
    // A session's log files, played instead of the firmware; the recorded gaps are divided by
    // the speed (0: at once); strict, a divergence ends the replay.
    QStringList replayFiles;
    double replaySpeed = 1;
    bool replayStrict = false;
};

// "absent", "silent", "no-turnstile", "loop-corrupt", "input1-stuck".
QString faultName(Fault fault);

// The command line: the options, the description that --help shows, and their reading.
void addOptions(QCommandLineParser *parser);
// Fills `options` from a parser that has parsed the command line; false with a message when a
// value is out of its range.
bool readOptions(const QCommandLineParser &parser, Options *options, QString *error);

} // namespace kalveno::sim
