#include "outputs.h"

namespace kalveno::sim {

Outputs::Outputs(QObject *parent)
    : QObject(parent)
{
    for (int i = 0; i < Count; ++i) {
        m_timers[i].setSingleShot(true);
        m_timers[i].setTimerType(Qt::PreciseTimer);
        connect(&m_timers[i], &QTimer::timeout, this, [this, i] { apply(i + 1, false); });
    }
}

bool Outputs::isOn(int output) const
{
    Q_ASSERT(output >= 1 && output <= Count);
    return m_on[output - 1];
}

void Outputs::set(int output, bool on)
{
    Q_ASSERT(output >= 1 && output <= Count);
    m_timers[output - 1].stop();
    apply(output, on);
}

void Outputs::pulse(int output, int milliseconds)
{
    Q_ASSERT(output >= 1 && output <= Count);
    m_timers[output - 1].start(milliseconds);
    apply(output, true);
}

void Outputs::execute(const textcommand::Command &command)
{
    using textcommand::Action;
    using textcommand::Kind;
    if (command.isRefused())
        return;
    if (command.kind == Kind::Batch) {
        for (int output = 1; output <= 4; ++output) {
            if (command.batchOn)
                pulse(output, command.durationMs);
            else
                set(output, false);
        }
        return;
    }
    if (command.kind != Kind::Output)
        return;
    switch (command.action) {
    case Action::On:
        set(command.output, true);
        break;
    case Action::Off:
        set(command.output, false);
        break;
    case Action::Timed:
        pulse(command.output, command.durationMs);
        break;
    }
}

void Outputs::apply(int output, bool on)
{
    if (m_on[output - 1] == on)
        return;
    m_on[output - 1] = on;
    Q_EMIT changed(output, on);
}

} // namespace kalveno::sim
