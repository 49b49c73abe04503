#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

namespace kalveno::sim {

class Outputs;

// "input 1 status: on" for the status byte F2, and so on for F3 to F5.
QString statusMeaning(QByteArrayView statusByte);

// The bridge's I/O firmware: the payload of each command frame switches or pulses the four TTL
// outputs, or asks for the state of a TTL input, which is answered with one status byte. The
// lead bytes DE and DF serve twice: alone they ask for input 1 or 2, followed by two digits they
// pulse output 3 or 4 for two seconds.
class IoFirmware
{
public:
    struct Outcome
    {
        QByteArray reply; // to send back on the link the frame came from
        QString meaning;
    };

    static constexpr int TwoSecondsMs = 2000;

    explicit IoFirmware(Outputs *outputs);

    Outcome handle(QByteArrayView payload);

    bool input(int input) const { return m_inputs[input - 1] || m_stuck[input - 1]; }
    void setInput(int input, bool on) { m_inputs[input - 1] = on; }
    // The input reads on from now on, whatever it is set to, as a shorted input does.
    void stickOn(int input) { m_stuck[input - 1] = true; }
    QByteArray statusByte(int input) const;

private:
    Outputs *m_outputs;
    std::array<bool, 2> m_inputs{};
    std::array<bool, 2> m_stuck{};
};

} // namespace kalveno::sim
