#pragma once

#include <QString>

class QStatusBar;

namespace kalveno {

// The one-line status bar under the design area: where a send that could not be made, or a
// link that went away, is told to the technician instead of being lost in silence. A message
// stays until the next one, with the time it happened.
class StatusLine final
{
public:
    explicit StatusLine(QStatusBar *bar);

    void report(const QString &message);
    QString current() const;

private:
    QStatusBar *m_bar;
};

} // namespace kalveno
