#pragma once

#include "log.h"
#include "options.h"
#include "simulator.h"
#include "udplink.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace kalveno::sim {

// What one simulator plays. Without --bridges, the one bridge with a serial line and a UDP port
// of its own. With it, a site: each bridge on its own address with its own state and log, the
// TCP port numbers alike (with port 0, those the first listening bridge was given), one UDP port
// shared by all, and the serial line bridge 1's. A control command goes to bridge 1 unless it
// begins "bridge <n>".
class Site final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Site)

public:
    Site(const Options &options, Log *log, QObject *parent = nullptr);
    ~Site() override;

    bool start(QString *error);
    int count() const { return int(m_bridges.size()); }
    // From 1.
    Simulator &bridge(int number) { return *m_bridges[size_t(number - 1)]; }
    QStringList endpoints() const;
    Simulator::Reply control(const QString &line);

private:
    Fault faultOf(int number) const;
    bool startSite(QString *error);

    Options m_options;
    Log *m_log;
    std::vector<std::unique_ptr<Log>> m_logs;
    std::vector<std::unique_ptr<Simulator>> m_bridges;
    std::unique_ptr<UdpLink> m_udp;
    quint16 m_tcpPort = 0;
    quint16 m_tcp2Port = 0;
};

} // namespace kalveno::sim
