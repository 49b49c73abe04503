#include "turnstile.h"

#include "field.h"
#include "number.h"

using namespace Qt::StringLiterals;

namespace kalveno::turnstile {

QByteArray passage(QStringView seconds, QStringView persons)
{
    return "><IP" + twoDigitField(seconds).toLatin1() + twoDigitField(persons).toLatin1();
}

QByteArray singlePassageWithDelay(QStringView seconds)
{
    const QByteArray t = twoDigitField(seconds).toLatin1();
    return "><IP" + t + "00*><IP" + t + "01";
}

QByteArray validationTimeout(QStringView seconds, QStringView cards)
{
    return "><IT" + twoDigitField(seconds).toLatin1() + twoDigitField(cards).toLatin1();
}

QByteArray mode(QStringView modeText)
{
    return "><IM" + modeText.first(qMin<qsizetype>(1, modeText.size())).toLatin1();
}

QByteArray directCommand()
{
    QByteArray data;
    for (int b = 0xB6; b <= 0xFF; ++b)
        data.append(char(b));
    return "><ID" + twoDigitField(QString::number(data.size())).toLatin1() + data;
}

QByteArray writeConfig(QStringView pollingText, const std::array<QString, 3> &remoteAddresses)
{
    // Only blanks are removed from the ends, as the field boxes show them; tabs stay.
    const auto trimBlanks = [](const QString &s) {
        qsizetype from = 0;
        qsizetype to = s.size();
        while (from < to && s[from] == u' ')
            ++from;
        while (to > from && s[to - 1] == u' ')
            --to;
        return s.sliced(from, to - from);
    };
    QString frame = u"><IR,"_s;
    frame += pollingText.first(qMin<qsizetype>(1, pollingText.size()));
    for (const QString &address : remoteAddresses)
        frame += u',' + trimBlanks(address);
    return (frame + u'*').toLatin1();
}

QByteArray autoAnswer(QStringView timeToPass)
{
    return "><T5T" + twoDigitField(timeToPass).toLatin1();
}

const QStringList &modes()
{
    static const QStringList list = {
        u"0 - Normal"_s,
        u"1 - Normal Paq"_s,
        u"2 - Free"_s,
        u"3 - Free Paq"_s,
        u"4 - Free tst: "_s + TestPattern.toString(),
        u"5 - Normal Led Yellow on read (Ver. 2.3O et +)"_s,
    };
    return list;
}

const QStringList &pollingChoices()
{
    static const QStringList list = {u"0- Polling OFF"_s, u"1- Polling ON"_s,
                                     u"2- Reader RFIDEA"_s};
    return list;
}

bool isConfigReply(QByteArrayView displayText)
{
    return displayText.size() > 10 && displayText.startsWith(ConfigReplyHead);
}

ConfigReply decodeConfigReply(QByteArrayView chunk)
{
    QByteArray bytes = chunk.toByteArray();
    bytes.replace(ConfigReplyEnd, QByteArrayView());
    const QString text = QString::fromLatin1(bytes);
    const auto field = [&text](int n) { return getField(text, u",", n); };

    ConfigReply reply;
    reply.polling = text.mid(4, 1);
    const QString modeField = field(3);
    const LeadingNumber number = LeadingNumber::parse(modeField);
    const auto index = number.hasDigits() ? number.roundedIn(0, modes().size() - 1) : std::nullopt;
    reply.modeKnown = index.has_value();
    reply.modeText = index ? modes().at(*index) : modeField;
    reply.timeToPass = field(4);
    reply.validationTimeout = field(5);
    reply.cardCount = field(6);
    for (int i = 0; i < 3; ++i)
        reply.remoteAddresses[i] = field(7 + i);
    reply.fieldCount = text.count(u',') + 1;
    return reply;
}

QList<std::pair<QString, QString>> configReplyFields(const ConfigReply &reply)
{
    return {
        {u"polling"_s, reply.polling},
        {u"mode"_s,
         reply.modeKnown ? QString::number(modes().indexOf(reply.modeText)) : reply.modeText},
        {u"time_to_pass"_s, reply.timeToPass},
        {u"validation_timeout"_s, reply.validationTimeout},
        {u"cards_before_offline"_s, reply.cardCount},
        {u"remote_antenna_2"_s, reply.remoteAddresses[0]},
        {u"remote_antenna_3"_s, reply.remoteAddresses[1]},
        {u"remote_antenna_4"_s, reply.remoteAddresses[2]},
    };
}

QByteArray configSummary(const ConfigReply &reply)
{
    // The polling character is compared with 1 as a number; anything but the digit 1 is "Off".
    const bool pollingOn = reply.polling == u"1";
    QString summary;
    const auto line = [&summary](QStringView label, QStringView value) {
        summary += label;
        summary += value;
        summary += u"\r\n";
    };
    line(u"Polling: ", pollingOn ? u"On" : u"Off");
    line(u"Mode: ", reply.modeText);
    line(u"D\u00e9lais pour passer: ", reply.timeToPass);
    line(u"D\u00e9lais pour valider carte: ", reply.validationTimeout);
    line(u"NB cartes non valider avant offline: ", reply.cardCount);
    line(u"IP tour remote ant02: ", reply.remoteAddresses[0]);
    line(u"IP tour remote ant03: ", reply.remoteAddresses[1]);
    line(u"IP tour remote ant04: ", reply.remoteAddresses[2]);
    summary.remove(u": "_s + TestPattern.toString());
    return summary.toLatin1();
}

} // namespace kalveno::turnstile
