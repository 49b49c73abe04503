#include "statusline.h"

#include <QStatusBar>
#include <QTime>

namespace kalveno {

StatusLine::StatusLine(QStatusBar *bar)
    : m_bar(bar)
{}

void StatusLine::report(const QString &message)
{
    m_bar->showMessage(QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")) + message);
}

QString StatusLine::current() const
{
    return m_bar->currentMessage();
}

} // namespace kalveno
