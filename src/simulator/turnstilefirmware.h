#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

namespace kalveno::sim {

class Outputs;

struct TurnstileSettings
{
    char polling = '0'; // '0' off, '1' the RFID reader is polled, '2' another reader (not polled)
    int mode = 0;       // 0 to 5
    int timeToPass = 5; // seconds
    int validationTimeout = 3;
    int cardCount = 3; // unvalidated cards before going offline
    std::array<QByteArray, 3> remoteAddresses;
};

// "IR?,<polling>,<mode>,<time to pass>,<validation time-out>,<cards>,<ip2>,<ip3>,<ip4>*"
QByteArray configReply(const TurnstileSettings &settings);

// The turnstile firmware: keeps the settings that the console reads and writes with its text
// commands, drives the LEDs and the arm, and opens a passage for a number of persons for the
// time to pass (the seconds of the latest passage command, which the configuration reply
// reports). Commands that do not parse are refused and change nothing.
class TurnstileFirmware final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TurnstileFirmware)

public:
    struct Outcome
    {
        QByteArray reply;
        QString meaning;
    };

    TurnstileFirmware(const TurnstileSettings &settings, Outputs *outputs,
                      QObject *parent = nullptr);

    Outcome handle(QByteArrayView text);

    const TurnstileSettings &settings() const { return m_settings; }
    bool isPolling() const { return m_settings.polling == '1'; }
    void setPolling(char digit);
    int passagePersons() const { return m_persons; }

Q_SIGNALS:
    void pollingChanged(bool polling);
    void passageClosed(const QString &why);

private:
    void openPassage(int persons, int seconds);

    TurnstileSettings m_settings;
    Outputs *m_outputs;
    QTimer m_passage;
    int m_persons = 0;
};

} // namespace kalveno::sim
