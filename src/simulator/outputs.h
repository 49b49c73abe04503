#pragma once

#include "protocol/textcommand.h"

#include <QObject>
#include <QTimer>

#include <array>

namespace kalveno::sim {

// The bridge's switched outputs: TTL outputs 1 to 4, and the turnstile's green LED (5), red LED
// (6) and arm (7), which its firmware drives with the same "><T<n>" commands. A timed command
// switches an output on and back off by itself; a later command for the same output replaces a
// running one.
class Outputs final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Outputs)

public:
    static constexpr int Count = 7;

    explicit Outputs(QObject *parent = nullptr);

    bool isOn(int output) const;
    void set(int output, bool on);
    void pulse(int output, int milliseconds);
    // Carries out an Output or Batch command; other kinds, and refused commands, are not for the
    // outputs.
    void execute(const textcommand::Command &command);

Q_SIGNALS:
    void changed(int output, bool on);

private:
    void apply(int output, bool on);

    std::array<bool, Count> m_on{};
    std::array<QTimer, Count> m_timers;
};

} // namespace kalveno::sim
