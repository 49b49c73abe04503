#include "linkstate.h"

namespace kalveno {

LinkState::LinkState(State initial, QObject *parent)
    : QObject(parent)
    , m_state(initial)
{}

void LinkState::setUp(const QString &detail)
{
    set(State::Up, detail);
}

void LinkState::setDown(const QString &reason)
{
    set(State::Down, reason);
}

void LinkState::set(State state, const QString &reason)
{
    if (state == m_state && reason == m_reason)
        return;
    m_state = state;
    m_reason = reason;
    Q_EMIT changed();
}

} // namespace kalveno
