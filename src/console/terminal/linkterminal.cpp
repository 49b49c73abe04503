#include "linkterminal.h"

#include "model/linkstate.h"
#include "model/reporter.h"
#include "widgets/captionbutton.h"
#include "widgets/terminalbox.h"

#include <QCheckBox>

using namespace Qt::StringLiterals;

namespace kalveno {

LinkTerminal::LinkTerminal(const TerminalView &view, Link link, Reporter &reporter)
    : m_view(view)
    , m_link(std::move(link))
    , m_reporter(reporter)
{}

void LinkTerminal::keyPress(int &code)
{
    // The link counts as up until its controller learns otherwise; it may have dropped a moment
    // ago.
    if (m_link.state.isUp() && !m_link.write(QByteArray(1, char(code))))
        m_reporter.report(u"%1 send failed: %2"_s.arg(m_link.name, m_link.lastError()));
    if (!m_view.echo->isChecked())
        code = 0;
}

bool LinkTerminal::paste(QByteArrayView bytes, qsizetype done, qsizetype total, bool &echo)
{
    const bool up = m_link.state.isUp();
    if (up && m_link.write(bytes.toByteArray())) {
        echo = m_view.echo->isChecked();
        return true;
    }
    const QString why =
        up ? u"%1 send failed: %2"_s.arg(m_link.name, m_link.lastError()) : m_link.notUp;
    m_reporter.report(
        done == 0 ? u"not pasted: "_s + why
                  : u"paste stopped after %1 of %2 bytes: %3"_s.arg(done).arg(total).arg(why));
    return false;
}

const QByteArray &LinkTerminal::text() const
{
    return m_view.box->bytes();
}

void LinkTerminal::append(QByteArrayView received)
{
    m_view.box->append(received);
}

void LinkTerminal::clear()
{
    m_view.box->setBytes({});
}

void LinkTerminal::focusClearButton()
{
    m_view.clear->setFocus();
}

} // namespace kalveno
