#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

namespace kalveno {

class TrafficSource;

// The console's links as a traffic view sends on them again, by the names that the record and
// the session log give them ("TCP 1024", "UDP", "COM1"). The window hands its links to the
// traffic views through this, so that they need none of the panels.
class LinkSender
{
public:
    LinkSender() = default;
    virtual ~LinkSender() = default;
    LinkSender(const LinkSender &) = delete;
    LinkSender &operator=(const LinkSender &) = delete;

    // Sends the bytes on the link of that name, with `note` as their meaning in the record;
    // false, with why, when that link is not up or does not take them.
    virtual bool send(const QString &link, const QByteArray &bytes, const QString &note,
                      QString *why) = 0;
};

// "Send again": the sent rows among the given ones, each on its link again, in order, at once or
// with the gaps between them as recorded. A row is read from its source when its turn comes, so
// that a long selection of a saved log costs a key a row, and the rows go in slices between which
// the window stays responsive. A row whose link is not up is not sent, and the rest go on.
class Resender final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Resender)

public:
    static constexpr int SliceTime = 15; // ms

    Resender(const TrafficSource &source, LinkSender &links, QObject *parent = nullptr);

    // Starts with the rows of these keys (-1 for none), in key order; false, with why, when there
    // is none. Rows that are not sent rows are left out as their turn comes.
    bool start(QList<qint64> keys, bool keepGaps, QString *why);
    void stop();
    bool isSending() const { return m_timer.isActive(); }

Q_SIGNALS:
    // How far it has come, and at the end what was sent and what not.
    void progress(const QString &state);
    void finished(const QString &summary);

private:
    void sendDue();
    void refuse(const QString &why);
    void finish(bool stopped);

    const TrafficSource &m_source;
    LinkSender &m_links;
    QList<qint64> m_keys;
    qsizetype m_next = 0;
    bool m_keepGaps = false;
    QDateTime m_lastTime;     // of the row sent last
    bool m_gapWaited = false; // for the next row
    qsizetype m_sent = 0;
    qsizetype m_refused = 0;
    QString m_firstWhy;
    QTimer m_timer;
};

} // namespace kalveno
