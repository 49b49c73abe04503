#include "testview.h"

#include "widgets/look.h"
#include "widgets/terminalbox.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace kalveno {

TestView::TestView()
    : m_display(new TerminalBox(this))
    , m_clear(new QPushButton(u"Clear"_s, this))
    , m_legend(new TerminalBox(this))
{
    installFontSubstitutes();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Test Tourniquet"_s);
    setObjectName(u"F_VIEW_TOURN"_s);
    resize(twips(12540), twips(8580));

    m_display->setObjectName(u"AFF_TXT"_s);
    m_display->setGeometry(twips(1170), twips(60), twips(11265), twips(8085));
    m_display->setFont(formFont(30, true));

    m_clear->setObjectName(u"Command1"_s);
    m_clear->setGeometry(twips(11325), twips(8145), twips(1080), twips(375));
    m_clear->setFont(formFont(12, true));

    m_legend->setObjectName(u"Text1"_s);
    m_legend->setGeometry(0, twips(45), twips(1155), twips(8085));
    m_legend->setFont(formFont(30, true));
    m_legend->setBytes("001\r\n000\r\n100\r\n000\r\n010\r\n000\r\n001\r\n");
    setForeground(m_legend, QColor(128, 128, 128));
    m_legend->setEnabled(false);

    setTabOrder(m_display, m_clear);
    wire();
}

void TestView::wire()
{
    connect(m_clear, &QPushButton::clicked, this, [this] { clearDisplay(); });
    connect(m_display, &TerminalBox::doubleClicked, this, [this] { clearDisplay(); });
    connect(m_display, &TerminalBox::clearRequested, this, [this] { clearDisplay(); });
}

void TestView::clearDisplay()
{
    m_display->setBytes({});
}

TestViewHost::~TestViewHost()
{
    destroy();
}

void TestViewHost::show()
{
    if (!m_view)
        m_view = new TestView;
    m_view->show();
    m_view->raise();
}

bool TestViewHost::isShown() const
{
    return m_view && m_view->isVisible();
}

void TestViewHost::destroy()
{
    delete m_view.data();
}

void TestViewHost::clearIfShown()
{
    if (isShown())
        m_view->AFF_TXT()->setBytes({});
}

void TestViewHost::appendIfShown(QByteArrayView text)
{
    if (isShown())
        m_view->AFF_TXT()->append(text);
}

void TestViewHost::replaceIfShown(const QByteArray &text)
{
    if (isShown())
        m_view->AFF_TXT()->setBytes(text);
}

} // namespace kalveno
