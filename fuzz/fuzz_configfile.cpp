// The configuration file: any file content is read, and what the console writes reads back.
//
// Input: the whole input is a file's content. Split at its first NUL byte it is also the port
// text and the address text a technician typed (UTF-8), to be written out.
#include "check.h"
#include "protocol/configfile.h"
#include "protocol/number.h"

#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace kalveno;

namespace {

QString withoutEndBlanks(QString s)
{
    while (s.startsWith(u' '))
        s.remove(0, 1);
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

bool fitsLatin1(const QString &s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n');
}

// The lines as Qt splits them once CR LF and lone CR are turned into LF.
void checkParse(QByteArrayView content)
{
    const configfile::Fields fields = configfile::parse(content);
    QString text = QString::fromLatin1(content);
    text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    const QStringList lines = text.split(u'\n');
    FUZZ_CHECK(fields.port == withoutEndBlanks(lines.value(1)));
    FUZZ_CHECK(fields.address == lines.value(2));
    FUZZ_CHECK(!hasLineBreak(fields.port) && !hasLineBreak(fields.address));

    // What was read is written back unchanged, and the port keeps its value.
    const configfile::Fields again =
        configfile::parse(configfile::format(fields.port, fields.address));
    FUZZ_CHECK(again.address == fields.address);
    FUZZ_CHECK(LeadingNumber::parse(again.port).printed() ==
               LeadingNumber::parse(fields.port).printed());
}

void checkFormat(const QString &port, const QString &address)
{
    const QByteArray content = configfile::format(port, address);
    FUZZ_CHECK(content.startsWith(configfile::Header.toByteArray() + "\r\n"));
    FUZZ_CHECK(content.endsWith("\r\n"));

    const configfile::Fields read = configfile::parse(content);
    const QString printed = LeadingNumber::parse(port).printed();
    FUZZ_CHECK(read.port == withoutEndBlanks(printed));
    FUZZ_CHECK(LeadingNumber::parse(read.port).printed() == printed);
    if (!hasLineBreak(address) && fitsLatin1(address)) {
        FUZZ_CHECK(read.address == address);
        FUZZ_CHECK(content.count("\r\n") == 3);
        // Saving what was loaded writes the same file.
        FUZZ_CHECK(configfile::format(read.port, read.address) == content);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(data, qsizetype(size));
    checkParse(input);

    const qsizetype split = input.indexOf('\0');
    if (split >= 0)
        checkFormat(QString::fromUtf8(input.first(split)),
                    QString::fromUtf8(input.sliced(split + 1)));
    else
        checkFormat(QString::fromUtf8(input), QString::fromUtf8(input));
    return 0;
}
