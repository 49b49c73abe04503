#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace kalveno {

// What the input status bytes of one received text report: the state of each of the two TTL
// inputs after the last status byte for it (nothing when the text held none), and the text
// without the status bytes.
struct TtlStatus
{
    QByteArray display;
    std::optional<bool> input1On;
    std::optional<bool> input2On;
};

// A text without status bytes comes back as display unchanged, sharing its data.
TtlStatus takeTtlStatus(const QByteArray &received);

} // namespace kalveno
