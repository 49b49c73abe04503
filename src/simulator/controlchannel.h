#pragma once

#include <QString>

namespace kalveno::sim {

struct Options;
class IoFirmware;
class Log;
class Outputs;
class ReaderLink;
class ReplayLink;
class StreamLinks;
class StreamRouter;
class TurnstileFirmware;

// The simulator's control channel: one line at a time from whoever runs it (input 1|2 on|off,
// drop, unplug, plug, polling on|off, status, help, quit), each answered with one line, and the
// status line that tells the state of every part.
class ControlChannel final
{
public:
    struct Parts
    {
        const Options *options;
        Log *log;
        IoFirmware *io;
        const Outputs *outputs;
        TurnstileFirmware *turnstile;
        const ReaderLink *reader;
        StreamLinks *links;
        StreamRouter *router;
        const ReplayLink *replay; // while a session log is replayed
    };
    struct Reply
    {
        QString text; // empty for nothing to say
        bool quit = false;
    };

    explicit ControlChannel(const Parts &parts);

    Reply handle(const QString &line);
    // "status firmware=both input1=off ... line=open", key=value fields.
    QString status() const;
    // Sets a TTL input and, when it changes, sends its status byte as the bridge does; `cause`
    // says in the log what set it. False when the input stays as it was against `on` (stuck).
    bool setInput(int input, bool on, const QString &cause = {});

private:
    Parts m_parts;
};

} // namespace kalveno::sim
