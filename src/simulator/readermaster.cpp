#include "readermaster.h"

#include "protocol/rfid.h"

using namespace Qt::StringLiterals;
namespace rfid = kalveno::rfid;

namespace kalveno::sim {

ReaderMaster::ReaderMaster(Timing timing)
    : m_timing(timing)
{}

ReaderMaster::Step ReaderMaster::start()
{
    m_present.fill(false);
    return select(1, {});
}

void ReaderMaster::stop()
{
    m_phase = Phase::Idle;
    m_antenna = 0;
    m_reply.clear();
}

ReaderMaster::Step ReaderMaster::select(int antenna, Step step)
{
    m_phase = Phase::Selecting;
    m_antenna = antenna;
    m_reply.clear();
    step.request = rfid::antennaSelectRequest(static_cast<unsigned char>(1u << (antenna - 1)));
    step.timerMs = m_timing.replyTimeoutMs;
    step.notes.append({Note::Sent, step.request, u"select antenna %1"_s.arg(antenna)});
    return step;
}

ReaderMaster::Step ReaderMaster::query(Step step)
{
    m_phase = Phase::Querying;
    m_reply.clear();
    step.request = rfid::cardQueryRequest();
    step.timerMs = m_timing.replyTimeoutMs;
    step.notes.append({Note::Sent, step.request, u"card query, antenna %1"_s.arg(m_antenna)});
    return step;
}

ReaderMaster::Step ReaderMaster::advance(Step step)
{
    if (m_antenna < 4)
        return select(m_antenna + 1, std::move(step));
    m_phase = Phase::Pausing;
    m_reply.clear();
    step.timerMs = m_timing.roundPauseMs;
    return step;
}

ReaderMaster::Step ReaderMaster::received(QByteArrayView bytes)
{
    Step step;
    if (m_phase != Phase::Selecting && m_phase != Phase::Querying) {
        step.notes.append({Note::Problem, bytes.toByteArray(), u"unexpected bytes, ignored"_s});
        return step;
    }
    m_reply.append(bytes);
    const qsizetype length = rfid::announcedLength(m_reply);
    if (length < 5 || length > MaxReply) {
        step.notes.append({Note::Problem, m_reply, u"not a reply (length byte), discarded"_s});
        m_reply.clear();
        return step;
    }
    // The rest of the reply may still come; the time-out keeps running from the request.
    if (m_reply.size() < length)
        return step;
    if (m_reply.size() > length) {
        step.notes.append(
            {Note::Problem, m_reply.sliced(length), u"bytes after the reply, discarded"_s});
    }
    const QByteArray reply = m_reply.first(length);
    m_reply.clear();
    judge(reply, step);
    return step;
}

void ReaderMaster::judge(QByteArrayView reply, Step &step)
{
    const int antenna = m_antenna;
    if (!rfid::hasValidCrc(reply)) {
        step.notes.append({Note::Received, reply.toByteArray(),
                           u"bad CRC, antenna %1 step failed"_s.arg(antenna)});
        m_present[antenna - 1] = false;
        step = advance(std::move(step));
        return;
    }
    const rfid::Reply read = rfid::readReply(reply);
    if (m_phase == Phase::Selecting) {
        if (read.kind == rfid::Reply::AntennaSelected) {
            step.notes.append(
                {Note::Received, reply.toByteArray(), u"antenna %1 selected"_s.arg(antenna)});
            step = query(std::move(step));
            return;
        }
        step.notes.append({Note::Received, reply.toByteArray(),
                           u"unexpected reply to select antenna %1"_s.arg(antenna)});
        m_present[antenna - 1] = false;
        step = advance(std::move(step));
        return;
    }
    quint64 id = 0;
    if (read.kind == rfid::Reply::NoCard) {
        step.notes.append(
            {Note::Received, reply.toByteArray(), u"no card on antenna %1"_s.arg(antenna)});
        m_present[antenna - 1] = false;
    } else if (rfid::parseCardReply(reply, &id)) {
        const bool fresh = !m_present[antenna - 1];
        m_present[antenna - 1] = true;
        step.notes.append({Note::Received, reply.toByteArray(),
                           u"card %1 on antenna %2%3"_s.arg(rfid::cardText(id))
                               .arg(antenna)
                               .arg(fresh ? u""_s : u", still there"_s)});
        if (fresh)
            step.card = Card{antenna, id};
    } else {
        step.notes.append({Note::Received, reply.toByteArray(),
                           u"unexpected reply to card query, antenna %1"_s.arg(antenna)});
        m_present[antenna - 1] = false;
    }
    step = advance(std::move(step));
}

ReaderMaster::Step ReaderMaster::timerExpired()
{
    Step step;
    switch (m_phase) {
    case Phase::Idle:
        return step;
    case Phase::Pausing:
        return select(1, std::move(step));
    case Phase::Selecting:
    case Phase::Querying:
        step.notes.append({Note::Problem, m_reply,
                           u"no reply to %1, antenna %2"_s
                               .arg(m_phase == Phase::Selecting ? u"select"_s : u"card query"_s)
                               .arg(m_antenna)});
        m_present[m_antenna - 1] = false;
        return advance(std::move(step));
    }
    return step;
}

} // namespace kalveno::sim
