#include "configstore.h"

#include "mainwindowui.h"
#include "platform/replacefile.h"
#include "protocol/configfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

ConfigStore::ConfigStore(const MainWindowUi &ui, QString path)
    : m_ui(ui)
    , m_path(std::move(path))
{}

void ConfigStore::LOAD_CONFIG()
{
    // A missing or unreadable file reads as no lines: both fields become empty.
    QByteArray content;
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly))
        content = file.read(configfile::ReadLimit);
    const configfile::Fields fields = configfile::parse(content);
    m_ui.INP_COMM_NO->setText(fields.port);
    m_ui.INP_IP_ADR->setText(fields.address);
}

bool ConfigStore::SAVE_CONFIG()
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        m_lastError = u"cannot create the folder %1"_s.arg(info.absolutePath());
        return false;
    }
    const QByteArray content =
        configfile::format(m_ui.INP_COMM_NO->text(), m_ui.INP_IP_ADR->text());
    return replaceFile(m_path, content, &m_lastError);
}

} // namespace kalveno
