#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

namespace kalveno::turnstile {

// Turnstile commands are plain text written straight to the TCP link, without the bridge
// frame. Outputs 5, 6 and 7 of the "><T" family are the green LED, the red LED and the arm.
inline constexpr QByteArrayView ArmDrop = "><T7E";
inline constexpr QByteArrayView RedLedTwoSeconds = "><T6T02";
inline constexpr QByteArrayView GreenLedTwoSeconds = "><T5T02";
inline constexpr QByteArrayView RedLedOn = "><T6E";
inline constexpr QByteArrayView RedLedOff = "><T6D";
inline constexpr QByteArrayView GreenLedOn = "><T5E";
inline constexpr QByteArrayView GreenLedOff = "><T5D";
inline constexpr QByteArrayView SinglePassageNoDelay = "><IP9900*><IP9901><T5E";
inline constexpr QByteArrayView SinglePassageFirst = "><IP0100";
inline constexpr QByteArrayView RedLedThreeSecondsOk = "OK><T6T03";
inline constexpr QByteArrayView ReadConfigRequest = "><IR?";

// "><IP" with the seconds, then the persons, each as a two-digit field.
QByteArray passage(QStringView seconds, QStringView persons);
// "><IP<T>00*><IP<T>01": one person in total within the delay.
QByteArray singlePassageWithDelay(QStringView seconds);
// "><IT" with the validation time-out, then the number of cards.
QByteArray validationTimeout(QStringView seconds, QStringView cards);
// "><IM" and the first character of the mode box's text.
QByteArray mode(QStringView modeText);
// "><ID", the length as a two-digit field, and the bytes B6 to FF: 80 bytes in all.
QByteArray directCommand();
// "><IR,<polling>,<ip2>,<ip3>,<ip4>*", each address without its end blanks.
QByteArray writeConfig(QStringView pollingText, const std::array<QString, 3> &remoteAddresses);
// The green LED lit for the time to pass: "><T5T" and the time as a two-digit field.
QByteArray autoAnswer(QStringView timeToPass);

// The mode list, index = mode number; entry 4 carries the test pattern the turnstile shows.
const QStringList &modes();
inline constexpr QStringView TestPattern = u"001-000-100-000-010-000-001";
const QStringList &pollingChoices();

// The turnstile's answer to ReadConfigRequest: "IR?,<polling>,<mode>,<time to pass>,
// <validation time-out>,<cards>,<ip2>,<ip3>,<ip4>*". It is recognised on the display text (the
// chunk without input status bytes), but its fields are taken from the chunk itself.
inline constexpr QByteArrayView ConfigReplyHead = "IR?,";
inline constexpr char ConfigReplyEnd = '*';
bool isConfigReply(QByteArrayView displayText);

struct ConfigReply
{
    QString polling;  // the character at position 5 of the chunk, or empty
    QString modeText; // the mode list entry the mode field names, or the field itself
    bool modeKnown = false;
    QString timeToPass;
    QString validationTimeout;
    QString cardCount;
    std::array<QString, 3> remoteAddresses;
    qsizetype fieldCount = 0; // "IR?" included; a whole reply has 9
};

ConfigReply decodeConfigReply(QByteArrayView chunk);

// The reply's fields by name, in its order, named as the traffic decoder names them: polling,
// mode (its number when it names an entry of the list, else the field as it stands),
// time_to_pass, validation_timeout, cards_before_offline, remote_antenna_2 to _4.
QList<std::pair<QString, QString>> configReplyFields(const ConfigReply &reply);

// The eight-line summary the test view shows for a reply, each line ended by CR LF, with the
// mode's test pattern removed.
QByteArray configSummary(const ConfigReply &reply);

} // namespace kalveno::turnstile
