#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace kalveno::sim {

// The bytes of a stream that a splitter has received and not yet taken. Taken bytes are dropped
// before the next append, so a long stream never piles up.
class StreamBuffer
{
public:
    void append(QByteArrayView bytes)
    {
        if (m_pos > 0) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        m_buffer.append(bytes);
    }
    // What has not been taken yet; valid until the next append or take.
    QByteArrayView rest() const { return QByteArrayView(m_buffer).sliced(m_pos); }
    qsizetype held() const { return m_buffer.size() - m_pos; }
    // The next `count` bytes, which rest() holds.
    QByteArray take(qsizetype count)
    {
        QByteArray taken = m_buffer.sliced(m_pos, count);
        m_pos += count;
        if (m_pos == m_buffer.size())
            clear();
        return taken;
    }
    void clear()
    {
        m_buffer.clear();
        m_pos = 0;
    }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;
};

} // namespace kalveno::sim
