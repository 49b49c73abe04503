#include "turnstilefirmware.h"

#include "outputs.h"

#include "protocol/textcommand.h"
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
    using textcommand::Kind;
    const textcommand::Command command = textcommand::parse(text);
    Outcome outcome{{}, textcommand::verdict(command)};
    if (command.isRefused())
        return outcome;
    // Wider fields run together, which the meaning says: the firmware takes the last two digits
    // for the second number.
    const auto readAs = [&command, &outcome](QStringView what) {
        if (QByteArrayView(command.text).sliced(4).size() > 4)
            outcome.meaning +=
                u", read as %1 s and %2 %3"_s.arg(command.seconds).arg(command.count).arg(what);
    };
    switch (command.kind) {
    case Kind::Unknown:
        break;
    case Kind::Output:
    case Kind::Batch:
        m_outputs->execute(command);
        break;
    case Kind::Passage:
        m_settings.timeToPass = command.seconds;
        openPassage(command.count, command.seconds);
        readAs(u"persons");
        if (command.count == 0)
            outcome.meaning += u", passage closed"_s;
        break;
    case Kind::ValidationTimeout:
        m_settings.validationTimeout = command.seconds;
        m_settings.cardCount = command.count;
        readAs(u"cards");
        break;
    case Kind::Mode:
        m_settings.mode = command.mode;
        break;
    case Kind::Direct:
        outcome.meaning += u", not acted on"_s;
        break;
    case Kind::ReadConfig:
        outcome.reply = configReply(m_settings);
        break;
    case Kind::WriteConfig:
        m_settings.remoteAddresses = command.addresses;
        setPolling(command.polling);
        break;
    }
    return outcome;
}

} // namespace kalveno::sim
