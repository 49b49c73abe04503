#pragma once

#include "commandsplitter.h"
#include "frameextractor.h"
#include "log.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QTimer>

#include <array>

namespace kalveno::sim {

struct Options;
class IoFirmware;
class StreamLinks;
class TurnstileFirmware;

// What arrives on the stream links, and where it goes. Command frames on any of them go to the
// I/O firmware, which answers on the same link; text commands from the first port go to the
// turnstile firmware, which answers there too; the rest passes between the first port and the
// serial line, and the second port, whose line has nothing on it, echoes it as if a loop-back
// plug sat there. While the RFID reader has the serial line, its bytes are the reader's, and
// bytes from the first port for the line are dropped. A bridge with a corrupt loop changes one
// byte of every send test pattern it echoes.
class StreamRouter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StreamRouter)

public:
    StreamRouter(const Options &options, StreamLinks *links, IoFirmware *io,
                 TurnstileFirmware *turnstile, Log *log, QObject *parent = nullptr);

    void feed(kalveno::sim::Link link, const QByteArray &bytes);
    // Forgets what was half received on the link.
    void restart(kalveno::sim::Link link);
    void setReaderHasLine(bool has);
    void setLoopCorrupt(bool corrupt) { m_corruptLoop = corrupt; }
    // Mixes the input's status byte into the traffic of the TCP clients and the serial line,
    // as the bridge does when an input changes; not on a line that is polling the RFID reader.
    void reportInput(int input);

private:
    // What arrives on one stream link, cut into frames, commands and data.
    struct Inbound
    {
        FrameExtractor frames;
        CommandSplitter commands;
        QTimer quiet;
    };

    Inbound &inbound(Link link);
    void drainFrames(Link link);
    void takeFrameItem(Link link, const FrameExtractor::Item &item);
    void passOn(Link link, QByteArrayView bytes);
    void takeCommandItem(const CommandSplitter::Item &item);
    void onQuiet(Link link);
    void deliver(Link from, QByteArrayView bytes);
    void echoCorrupted(QByteArrayView bytes);

    bool m_ioFirmware;
    bool m_turnstileFirmware;
    bool m_corruptLoop = false;
    qint64 m_echoed = 0; // bytes the second port has echoed to its client
    StreamLinks *m_links;
    IoFirmware *m_io;
    TurnstileFirmware *m_turnstile;
    Log *m_log;
    std::array<Inbound, 3> m_inbound; // the first port, the second, the serial line
    bool m_readerHasLine = false;
};

} // namespace kalveno::sim
