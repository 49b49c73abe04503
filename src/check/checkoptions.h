#pragma once

#include "protocol/bridgeio.h"

#include <QByteArrayView>
#include <QCommandLineParser>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <map>

namespace kalveno::check {

// What can be checked on a bridge, each a step that passes or fails on its own.
enum class Step { Connect, Status, Outputs, Config, Loop };

QString stepName(Step step);
// The steps that talk over the connection that `connect` makes to the bridge's first port.
bool needsConnection(Step step);

struct Bridge
{
    QString name; // the address when the bridge was given no name
    QHostAddress address;
};

struct Options
{
    QList<Bridge> bridges;
    QList<Step> steps{Step::Connect, Step::Status, Step::Config};
    std::map<QString, QString> expected; // reported value by key
    QList<bridgeio::JigWire> jig;
    int timeoutMs = 2000;
    int jobs = 64;
    quint16 tcpPort = 1024;
    quint16 loopPort = 1025;
    QString jsonPath; // "-" for standard output
    QString junitPath;
    QString logDir;
};

void addOptions(QCommandLineParser *parser);
// Fills `options` from a parser that has parsed the command line, reading the bridges file;
// false with a message when anything is wrong.
bool readOptions(const QCommandLineParser &parser, Options *options, QString *error);

// The bridges of a bridges file: "NAME ADDRESS" or "ADDRESS" a line, blank lines, and comments
// from '#' to the end of a line. False with the file and line named in `error`.
bool readBridges(QByteArrayView text, const QString &fileName, QList<Bridge> *bridges,
                 QString *error);

// The name as a file name of the log folder: characters that a file name should not hold
// become '_'.
QString logFileName(const QString &bridgeName);

} // namespace kalveno::check
