#pragma once

#include <QObject>
#include <QString>

namespace kalveno {

// Whether a link (the TCP connection to the bridge, the local serial port) is up, and why not.
// Everything that sends asks this model; the link's address field only shows it in its colour.
// A link starts untried (the serial port field's plain colour) or down (the TCP field's red).
class LinkState final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkState)

public:
    enum class State { Untried, Up, Down };

    explicit LinkState(State initial, QObject *parent = nullptr);

    bool isUp() const { return m_state == State::Up; }
    // What the link is connected to, or why it is not up.
    QString reason() const { return m_reason; }

    void setUp(const QString &detail);
    void setDown(const QString &reason);

Q_SIGNALS:
    void changed();

private:
    void set(State state, const QString &reason);

    State m_state;
    QString m_reason;
};

} // namespace kalveno
