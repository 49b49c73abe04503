#pragma once

#include "simulator.h"

#include <QCommandLineParser>
#include <QString>

namespace kalveno::sim {

// The command line: the options, the description that --help shows, and their reading.
void addOptions(QCommandLineParser *parser);
// Fills `options` from a parser that has parsed the command line; false with a message when a
// value is out of its range.
bool readOptions(const QCommandLineParser &parser, Options *options, QString *error);

} // namespace kalveno::sim
