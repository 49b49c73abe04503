#include "configstore.h"

#include "platform/replacefile.h"
#include "protocol/configfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kalveno {

ConfigStore::ConfigStore(QLineEdit *portNumber, QLineEdit *address, QString path)
    : m_portNumber(portNumber)
    , m_address(address)
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
    m_portNumber->setText(fields.port);
    m_address->setText(fields.address);
}

bool ConfigStore::SAVE_CONFIG()
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        m_lastError = u"cannot create the folder %1"_s.arg(info.absolutePath());
        return false;
    }
    const QByteArray content = configfile::format(m_portNumber->text(), m_address->text());
    return replaceFile(m_path, content, &m_lastError);
}

} // namespace kalveno
