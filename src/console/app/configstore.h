#pragma once

#include <QString>

class QLineEdit;

namespace kalveno {

// Keeps the serial port number and the bridge's address between runs, in the configuration
// file: read once at start-up into the two fields (whose change handlers then open the port
// and start a connection), written once when the window closes. A file that is there but could
// not be read (not a regular file, unreadable, too large) is never written over: its content
// was not seen and would be lost.
class ConfigStore final
{
public:
    // The serial port number field (INP_COMM_NO) and the bridge address field (INP_IP_ADR).
    ConfigStore(QLineEdit *portNumber, QLineEdit *address, QString path);

    // False, with lastError(), when a file is there that could not be read.
    bool LOAD_CONFIG();
    // Writes a new file beside the old one and renames it over it, so that the file is always
    // either the old or the new one. False, with lastError(), when it could not be written.
    bool SAVE_CONFIG();

    QString path() const { return m_path; }
    QString lastError() const { return m_lastError; }

private:
    QLineEdit *m_portNumber;
    QLineEdit *m_address;
    QString m_path;
    QString m_lastError;
    bool m_unreadable = false;
};

} // namespace kalveno
