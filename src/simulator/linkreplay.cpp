#include "linkreplay.h"

#include "protocol/wording.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace kalveno::sim {

namespace {

using Kind = ReplayStep::Kind;
using State = ReplayStep::State;

// How far the place where bytes meet the log again is checked: enough to tell it from chance.
constexpr qsizetype MaxCompare = 4096;
constexpr qsizetype ShownBytes = 32;

QString hex(QByteArrayView bytes)
{
    return bytes.isEmpty() ? u"nothing"_s : wording::hex(bytes, ShownBytes);
}

bool isConnectionStep(Kind kind)
{
    return kind == Kind::Connect || kind == Kind::BridgeCloses || kind == Kind::ConsoleCloses;
}

qsizetype commonPrefix(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

LinkReplay::LinkReplay(LinkScript script, QStringList files, double speed, bool reconnects)
    : m_script(std::move(script))
    , m_files(std::move(files))
    , m_speed(speed)
    , m_reconnects(reconnects)
    , m_waiting(m_script.steps.size())
{
    findExpect(0);
}

void LinkReplay::settle(qsizetype index, State state, qint64 now)
{
    ReplayStep &step = m_script.steps[index];
    if (step.state != State::Waiting)
        return;
    step.state = state;
    step.doneAt = now;
    --m_waiting;
    if (state == State::Done)
        ++m_replayed;
}

// Moves to the first entry the console has still to send; one without bytes (an empty datagram)
// has nothing to wait for.
void LinkReplay::findExpect(qint64 now)
{
    QList<ReplayStep> &steps = m_script.steps;
    while (m_expect < steps.size()) {
        const ReplayStep &step = steps[m_expect];
        if (step.kind == Kind::Expect && step.state == State::Waiting) {
            if (!step.bytes.isEmpty())
                return;
            settle(m_expect, State::Done, now);
        }
        ++m_expect;
    }
}

QList<LinkReplay::Divergence> LinkReplay::take(QByteArrayView bytes, qint64 now)
{
    QList<Divergence> divergences;
    QByteArray pending = bytes.toByteArray();
    qsizetype at = 0;
    while (at < pending.size()) {
        findExpect(now);
        if (m_expect == m_script.steps.size()) {
            divergences.append({-1, pending.sliced(at), pending.size() - at});
            break;
        }
        const QByteArray &expected = m_script.steps[m_expect].bytes;
        const qsizetype n = commonPrefix(QByteArrayView(pending).sliced(at),
                                         QByteArrayView(expected).sliced(m_offset));
        at += n;
        m_offset += n;
        if (m_offset == expected.size()) {
            settle(m_expect, State::Done, now);
            m_offset = 0;
            continue;
        }
        if (at == pending.size())
            break; // the rest of the entry is still to come

        // What the console sent where this entry was expected, from the entry's start.
        Divergence divergence{m_expect, expected.first(m_offset) + pending.sliced(at)};
        m_offset = 0;
        const auto [offset, step] = resync(divergence.came, divergence.expected);
        if (step < 0) {
            divergence.dropped = divergence.came.size();
            divergences.append(divergence);
            break;
        }
        divergence.dropped = offset;
        divergence.resumed = step;
        for (qsizetype i = divergence.expected; i < step; ++i) {
            const ReplayStep &s = m_script.steps[i];
            if ((s.kind == Kind::Expect || s.kind == Kind::Play) && s.state == State::Waiting) {
                settle(i, State::Skipped, now);
                ++divergence.skipped;
            }
        }
        divergences.append(divergence);
        m_expect = step;
        pending = divergence.came;
        at = offset;
    }
    findExpect(now);
    return divergences;
}

QString LinkReplay::describe(const Divergence &d) const
{
    if (d.expected < 0)
        return u"divergence on %1 %2: came %3; dropped"_s.arg(
            m_script.name,
            m_script.steps.isEmpty() ? u"where the log has nothing"_s
                                     : u"after the log's last entry there"_s,
            hex(d.came));
    QString outcome;
    if (d.resumed < 0) {
        outcome = u"dropped; waiting for it"_s;
    } else {
        outcome = d.dropped > 0 ? u"dropped %1 bytes, "_s.arg(d.dropped) : QString();
        outcome += d.resumed == d.expected ? u"then as the log has it"_s
                                           : u"went on at %1, %2 entries skipped"_s.arg(
                                                 where(d.resumed), QString::number(d.skipped));
    }
    return u"divergence on %1 at %2: expected %3, came %4; %5"_s.arg(
        m_script.name, where(d.expected), hex(m_script.steps[d.expected].bytes), hex(d.came),
        outcome);
}

std::pair<qsizetype, qsizetype> LinkReplay::resync(QByteArrayView seen, qsizetype from) const
{
    const QList<ReplayStep> &steps = m_script.steps;
    QList<qsizetype> candidates;
    for (qsizetype i = from; i < steps.size() && candidates.size() < LookAhead; ++i) {
        if (isConnectionStep(steps[i].kind))
            break;
        if (steps[i].kind == Kind::Expect && steps[i].state == State::Waiting &&
            !steps[i].bytes.isEmpty())
            candidates.append(i);
    }
    const qsizetype scan = qMin(seen.size(), MaxScan);
    for (qsizetype offset = 0; offset < scan; ++offset) {
        for (const qsizetype step : std::as_const(candidates)) {
            if ((offset > 0 || step != from) && agrees(seen.sliced(offset), step))
                return {offset, step};
        }
    }
    return {-1, -1};
}

// Whether the bytes read as the console's entries from `step` on, as far as either goes.
bool LinkReplay::agrees(QByteArrayView seen, qsizetype step) const
{
    const QList<ReplayStep> &steps = m_script.steps;
    seen = seen.first(qMin(seen.size(), MaxCompare));
    for (qsizetype i = step; i < steps.size() && !seen.isEmpty(); ++i) {
        if (isConnectionStep(steps[i].kind))
            break;
        if (steps[i].kind != Kind::Expect || steps[i].state != State::Waiting)
            continue;
        const QByteArrayView expected = steps[i].bytes;
        const qsizetype n = qMin(seen.size(), expected.size());
        if (seen.first(n) != expected.first(n))
            return false;
        seen = seen.sliced(n);
    }
    return true;
}

LinkReplay::Action LinkReplay::next(qint64 now, const Peer &peer, qint64 *waitMs)
{
    *waitMs = -1;
    QList<ReplayStep> &steps = m_script.steps;
    for (; m_next < steps.size(); ++m_next) {
        ReplayStep &step = steps[m_next];
        if (step.state != State::Waiting) {
            m_lastDone = qMax(m_lastDone, step.doneAt);
            continue;
        }
        switch (step.kind) {
        case Kind::Expect:
            return {};
        case Kind::Connect:
            if (!peer.present || (m_reconnects && peer.generation <= m_connectedGeneration))
                return {};
            m_connectedGeneration = peer.generation;
            break;
        case Kind::ConsoleCloses:
            if (peer.present && peer.generation <= m_connectedGeneration)
                return {};
            break;
        case Kind::Play:
        case Kind::BridgeCloses: {
            if (step.kind == Kind::Play && !peer.present)
                return {};
            const qint64 due = m_lastDone + scaled(step.gapMs);
            if (now < due) {
                *waitMs = due - now;
                return {};
            }
            settle(m_next, State::Done, now);
            m_lastDone = now;
            ++m_next;
            return {step.kind == Kind::Play ? Action::Kind::Send : Action::Kind::Drop, step.bytes,
                    where(m_next - 1)};
        }
        }
        settle(m_next, State::Done, now);
        m_lastDone = now;
    }
    return {};
}

QString LinkReplay::where(qsizetype step) const
{
    const ReplayStep &s = m_script.steps[step];
    return u"%1:%2"_s.arg(m_files.value(s.file), QString::number(s.line));
}

qint64 LinkReplay::scaled(qint64 ms) const
{
    return m_speed <= 0 ? 0 : std::llround(double(ms) / m_speed);
}

} // namespace kalveno::sim
