#include "configfile.h"

#include "number.h"

namespace kalveno::configfile {

QByteArray format(QStringView portText, QStringView addressText)
{
    QByteArray bytes = Header.toByteArray() + "\r\n";
    bytes += LeadingNumber::parse(portText).printed().toLatin1() + "\r\n";
    bytes += addressText.toLatin1() + "\r\n";
    return bytes;
}

Fields parse(QByteArrayView content)
{
    QByteArrayView lines[3];
    int count = 0;
    qsizetype pos = 0;
    while (count < 3 && pos < content.size()) {
        qsizetype end = pos;
        while (end < content.size() && content[end] != '\r' && content[end] != '\n')
            ++end;
        lines[count++] = content.sliced(pos, end - pos);
        const bool crlf =
            end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n';
        pos = end + (crlf ? 2 : 1);
    }

    Fields fields;
    if (count >= 2) {
        QByteArrayView port = lines[1];
        while (!port.isEmpty() && port.front() == ' ')
            port = port.sliced(1);
        while (!port.isEmpty() && port.back() == ' ')
            port.chop(1);
        fields.port = QString::fromLatin1(port);
    }
    if (count >= 3)
        fields.address = QString::fromLatin1(lines[2]);
    return fields;
}

} // namespace kalveno::configfile
