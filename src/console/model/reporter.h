#pragma once

#include <QObject>
#include <QString>

namespace kalveno {

// Where a send that could not be made, or a link that went away, is told to the technician
// instead of being lost in silence. The window shows each report on its status bar; a report
// that repeats the one before says how many times it came.
class Reporter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Reporter)

public:
    explicit Reporter(QObject *parent = nullptr)
        : QObject(parent)
    {}

    void report(const QString &message)
    {
        m_times = message == m_last ? m_times + 1 : 1;
        m_last = message;
        Q_EMIT reported(m_times == 1 ? message
                                     : QStringLiteral("%1 (%2 times)").arg(message).arg(m_times));
    }
    QString last() const { return m_last; }

Q_SIGNALS:
    void reported(const QString &message);

private:
    QString m_last;
    qint64 m_times = 0;
};

} // namespace kalveno
