// The turnstile's configuration reply, decoded from any chunk the TCP link can deliver, and the
// summary the test view shows for it.
#include "check.h"
#include "protocol/number.h"
#include "protocol/ttlstatus.h"
#include "protocol/turnstile.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace kalveno;
using namespace kalveno::turnstile;

namespace {

// A reply's text: the chunk without its end marks, one character per byte.
QString replyText(QByteArrayView chunk)
{
    QByteArray bytes = chunk.toByteArray();
    bytes.replace('*', QByteArrayView());
    return QString::fromLatin1(bytes);
}

bool isPlain(const QString &value)
{
    return !value.contains(u'\r') && !value.contains(u'\n') && !value.contains(TestPattern);
}

// Each summary line carries one value after its label; the mode's test pattern is left out.
void checkSummary(const ConfigReply &reply)
{
    const QByteArray summary = configSummary(reply);
    FUZZ_CHECK(summary.endsWith("\r\n"));
    const QString modeShown = QString(reply.modeText).remove(u": "_s + TestPattern.toString());
    const QString values[8] = {
        reply.polling == u"1" ? u"On"_s : u"Off"_s,
        modeShown,
        reply.timeToPass,
        reply.validationTimeout,
        reply.cardCount,
        reply.remoteAddresses[0],
        reply.remoteAddresses[1],
        reply.remoteAddresses[2],
    };
    for (const QString &value : values) {
        if (!isPlain(value))
            return;
    }
    const QStringList lines = QString::fromLatin1(summary).split(u"\r\n"_s);
    FUZZ_CHECK(lines.size() == 9 && lines.last().isEmpty());
    for (int i = 0; i < 8; ++i) {
        const qsizetype colon = lines.at(i).indexOf(u": "_s);
        FUZZ_CHECK(colon > 0);
        FUZZ_CHECK(lines.at(i).sliced(colon + 2) == values[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView chunk(data, qsizetype(size));
    const QByteArray display = takeTtlStatus(chunk.toByteArray()).display;
    const bool recognised = isConfigReply(display);
    FUZZ_CHECK(!recognised || display.startsWith("IR?,"));

    // The console decodes only recognised replies, but the decoder must take any chunk.
    const ConfigReply reply = decodeConfigReply(chunk);
    const QString text = replyText(chunk);
    const QStringList fields = text.split(u',');
    FUZZ_CHECK(reply.polling == text.mid(4, 1));
    FUZZ_CHECK(reply.timeToPass == fields.value(3));
    FUZZ_CHECK(reply.validationTimeout == fields.value(4));
    FUZZ_CHECK(reply.cardCount == fields.value(5));
    for (int i = 0; i < 3; ++i)
        FUZZ_CHECK(reply.remoteAddresses[i] == fields.value(6 + i));

    // A mode number names its list entry; anything else is shown as it came.
    const QString modeField = fields.value(2);
    const auto modeNumber = LeadingNumber::parse(modeField).roundedIn(0, modes().size() - 1);
    FUZZ_CHECK(reply.modeKnown == (LeadingNumber::parse(modeField).hasDigits() && modeNumber));
    FUZZ_CHECK(reply.modeText == (reply.modeKnown ? modes().at(*modeNumber) : modeField));

    checkSummary(reply);
    return 0;
}
