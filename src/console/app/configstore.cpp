#include "configstore.h"

#include "platform/readsettingsfile.h"
#include "platform/replacefile.h"
#include "protocol/configfile.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

ConfigStore::ConfigStore(QLineEdit *portNumber, QLineEdit *address, QString path)
    : m_portNumber(portNumber)
    , m_address(address)
    , m_path(std::move(path))
{}

bool ConfigStore::LOAD_CONFIG()
{
    // A missing or unreadable file reads as no lines: both fields become empty.
    const SettingsFileRead read = readSettingsFile(m_path, configfile::ReadLimit);
    m_unreadable = read.status == SettingsFileRead::Unreadable;
    if (m_unreadable)
        m_lastError =
            u"%1 could not be read (%2); it will be left as it is"_s.arg(m_path, read.why);
    const configfile::Fields fields = configfile::parse(read.content);
    m_portNumber->setText(fields.port);
    m_address->setText(fields.address);
    return !m_unreadable;
}

bool ConfigStore::SAVE_CONFIG()
{
    if (m_unreadable)
        return false;
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        m_lastError = u"cannot create the folder %1"_s.arg(info.absolutePath());
        return false;
    }
    const QByteArray content = configfile::format(m_portNumber->text(), m_address->text());
    return replaceFile(m_path, content, &m_lastError);
}

} // namespace kalveno
