#pragma once

#include <QString>

namespace kalveno::sim {

class Log;

// The --link symbolic link to the serial line's device, where the console looks for its port.
// An old link at the path, most likely left by a run that did not end cleanly, is replaced; any
// other file there is left alone. The link goes at the end, unless another run has replaced it
// meanwhile.
class PortLink final
{
public:
    explicit PortLink(Log *log);
    ~PortLink();
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;

    bool make(const QString &path, const QString &target, QString *error);
    bool isMade() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }

private:
    Log *m_log;
    QString m_path;
    QString m_target;
};

} // namespace kalveno::sim
