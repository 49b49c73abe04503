#pragma once

#include "checkoptions.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace kalveno::check {

struct StepResult
{
    Step step = Step::Connect;
    bool run = false; // false: not run, for want of the connection
    bool passed = false;
    qint64 microseconds = 0;
    QJsonObject detail; // the values the step reports
    QString error;      // why it failed, or why it was not run
};

struct BridgeResult
{
    Bridge bridge;
    bool passed = false;
    qint64 microseconds = 0;
    QList<StepResult> steps;
};

struct SiteResult
{
    QList<BridgeResult> bridges; // in the order they were given
    qint64 microseconds = 0;

    qsizetype passed() const;
};

// One row per bridge with each step's mark (ok, FAIL, - for not run) and the reasons of the
// failures, then a line of totals.
QByteArray table(const SiteResult &site, const QList<Step> &steps);
// {"bridges": [{"name", "address", "passed", "seconds", "steps": [{"name", "passed",
// "seconds", "detail", "error"}]}], "passed", "failed", "seconds"}
QByteArray json(const SiteResult &site);
// One <testsuite> per bridge, one <testcase> per step, totals on <testsuites>.
QByteArray junit(const SiteResult &site);

} // namespace kalveno::check
