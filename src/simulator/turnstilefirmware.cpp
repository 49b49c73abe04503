#include "turnstilefirmware.h"

#include "outputs.h"
#include "textcommand.h"

#include "protocol/turnstile.h"

using namespace Qt::StringLiterals;

namespace kalveno::sim {

QByteArray configReply(const TurnstileSettings &s)
{
    QByteArray reply = turnstile::ConfigReplyHead.toByteArray();
    reply += s.polling;
    reply += ',' + QByteArray::number(s.mode) + ',' + QByteArray::number(s.timeToPass) + ',' +
             QByteArray::number(s.validationTimeout) + ',' + QByteArray::number(s.cardCount);
    for (const QByteArray &address : s.remoteAddresses)
        reply += ',' + address;
    return reply + turnstile::ConfigReplyEnd;
}

TurnstileFirmware::TurnstileFirmware(const TurnstileSettings &settings, Outputs *outputs,
                                     QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_outputs(outputs)
{
    m_passage.setSingleShot(true);
    connect(&m_passage, &QTimer::timeout, this, [this] {
        m_persons = 0;
        Q_EMIT passageClosed(u"time to pass over"_s);
    });
}

void TurnstileFirmware::setPolling(char digit)
{
    const bool was = isPolling();
    m_settings.polling = digit;
    if (isPolling() != was)
        Q_EMIT pollingChanged(isPolling());
}

void TurnstileFirmware::openPassage(int persons, int seconds)
{
    m_persons = persons;
    if (persons > 0 && seconds > 0)
        m_passage.start(seconds * 1000);
    else
        m_passage.stop();
}

TurnstileFirmware::Outcome TurnstileFirmware::handle(QByteArrayView text)
{
    const TextCommand command = parseTextCommand(text);
    Outcome outcome{{}, describe(command)};
    switch (command.kind) {
    case TextCommand::Kind::Invalid:
        break;
    case TextCommand::Kind::Output:
    case TextCommand::Kind::Batch:
        m_outputs->execute(command);
        break;
    case TextCommand::Kind::Passage:
        m_settings.timeToPass = command.seconds;
        openPassage(command.count, command.seconds);
        if (command.count == 0)
            outcome.meaning += u", passage closed"_s;
        break;
    case TextCommand::Kind::ValidationTimeout:
        m_settings.validationTimeout = command.seconds;
        m_settings.cardCount = command.count;
        break;
    case TextCommand::Kind::Mode:
        m_settings.mode = command.mode;
        break;
    case TextCommand::Kind::Direct:
        outcome.meaning += u", not acted on"_s;
        break;
    case TextCommand::Kind::ReadConfig:
        outcome.reply = configReply(m_settings);
        break;
    case TextCommand::Kind::WriteConfig:
        m_settings.remoteAddresses = command.addresses;
        setPolling(command.polling);
        break;
    }
    return outcome;
}

} // namespace kalveno::sim
