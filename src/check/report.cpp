#include "report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <QXmlStreamWriter>

#include <cmath>

using namespace Qt::StringLiterals;

namespace kalveno::check {

namespace {

// Seconds to the millisecond.
double seconds(qint64 microseconds)
{
    return std::round(double(microseconds) / 1000.0) / 1000.0;
}

QString secondsText(qint64 microseconds)
{
    return QString::number(seconds(microseconds), 'f', 3);
}

QString valueText(const QJsonValue &value)
{
    return value.isString() ? value.toString() : value.toVariant().toString();
}

// XML 1.0 has no place for most control characters, which a bridge's reply may hold.
QString xmlText(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            safe += u"\\x%1"_s.arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            safe += c;
    }
    return safe;
}

QString mark(const StepResult &step)
{
    return !step.run ? u"-"_s : step.passed ? u"ok"_s : u"FAIL"_s;
}

QString reasons(const BridgeResult &bridge)
{
    QStringList failed;
    for (const StepResult &step : bridge.steps) {
        if (step.run && !step.passed)
            failed.append(stepName(step.step) + u": "_s + step.error);
    }
    return failed.join(u"; "_s);
}

qsizetype failures(const BridgeResult &bridge)
{
    return std::count_if(bridge.steps.begin(), bridge.steps.end(),
                         [](const StepResult &step) { return step.run && !step.passed; });
}

qsizetype skipped(const BridgeResult &bridge)
{
    return std::count_if(bridge.steps.begin(), bridge.steps.end(),
                         [](const StepResult &step) { return !step.run; });
}

} // namespace

qsizetype SiteResult::passed() const
{
    return std::count_if(bridges.begin(), bridges.end(),
                         [](const BridgeResult &bridge) { return bridge.passed; });
}

QByteArray table(const SiteResult &site, const QList<Step> &steps)
{
    QList<QStringList> rows{{u"BRIDGE"_s, u"ADDRESS"_s}};
    for (const Step step : steps)
        rows[0].append(stepName(step));
    rows[0] << u"SECONDS"_s << u"RESULT"_s;
    for (const BridgeResult &bridge : site.bridges) {
        QStringList row{bridge.bridge.name, bridge.bridge.address.toString()};
        for (const StepResult &step : bridge.steps)
            row.append(mark(step));
        row << secondsText(bridge.microseconds)
            << (bridge.passed ? u"passed"_s : u"failed: "_s + reasons(bridge));
        rows.append(row);
    }
    QList<qsizetype> widths(rows[0].size(), 0);
    for (const QStringList &row : std::as_const(rows)) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths[i], row[i].size());
    }
    QString text;
    for (const QStringList &row : std::as_const(rows)) {
        QString line;
        for (qsizetype i = 0; i + 1 < row.size(); ++i) {
            const bool number = i == row.size() - 2;
            line += (number ? row[i].rightJustified(widths[i]) : row[i].leftJustified(widths[i]));
            line += u"  "_s;
        }
        text += line + row.constLast() + u'\n';
    }
    const qsizetype passed = site.passed();
    text += u"%1 %2 checked in %3 s: %4 passed, %5 failed\n"_s.arg(site.bridges.size())
                .arg(site.bridges.size() == 1 ? u"bridge"_s : u"bridges"_s)
                .arg(secondsText(site.microseconds))
                .arg(passed)
                .arg(site.bridges.size() - passed);
    return text.toUtf8();
}

QByteArray json(const SiteResult &site)
{
    QJsonArray bridges;
    for (const BridgeResult &bridge : site.bridges) {
        QJsonArray steps;
        for (const StepResult &step : bridge.steps) {
            steps.append(QJsonObject{
                {u"name"_s, stepName(step.step)},
                {u"passed"_s, step.passed},
                {u"seconds"_s, seconds(step.microseconds)},
                {u"detail"_s, step.detail},
                {u"error"_s, step.passed ? QJsonValue() : QJsonValue(step.error)},
            });
        }
        bridges.append(QJsonObject{
            {u"name"_s, bridge.bridge.name},
            {u"address"_s, bridge.bridge.address.toString()},
            {u"passed"_s, bridge.passed},
            {u"seconds"_s, seconds(bridge.microseconds)},
            {u"steps"_s, steps},
        });
    }
    const qsizetype passed = site.passed();
    return QJsonDocument(QJsonObject{
                             {u"bridges"_s, bridges},
                             {u"passed"_s, passed},
                             {u"failed"_s, site.bridges.size() - passed},
                             {u"seconds"_s, seconds(site.microseconds)},
                         })
        .toJson(QJsonDocument::Indented);
}

QByteArray junit(const SiteResult &site)
{
    qsizetype tests = 0;
    qsizetype failed = 0;
    qsizetype notRun = 0;
    for (const BridgeResult &bridge : site.bridges) {
        tests += bridge.steps.size();
        failed += failures(bridge);
        notRun += skipped(bridge);
    }
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(u"testsuites"_s);
    writer.writeAttribute(u"name"_s, u"kalveno-check"_s);
    writer.writeAttribute(u"tests"_s, QString::number(tests));
    writer.writeAttribute(u"failures"_s, QString::number(failed));
    writer.writeAttribute(u"errors"_s, u"0"_s);
    writer.writeAttribute(u"skipped"_s, QString::number(notRun));
    writer.writeAttribute(u"time"_s, secondsText(site.microseconds));
    for (const BridgeResult &bridge : site.bridges) {
        writer.writeStartElement(u"testsuite"_s);
        writer.writeAttribute(u"name"_s, bridge.bridge.name);
        writer.writeAttribute(u"hostname"_s, bridge.bridge.address.toString());
        writer.writeAttribute(u"tests"_s, QString::number(bridge.steps.size()));
        writer.writeAttribute(u"failures"_s, QString::number(failures(bridge)));
        writer.writeAttribute(u"errors"_s, u"0"_s);
        writer.writeAttribute(u"skipped"_s, QString::number(skipped(bridge)));
        writer.writeAttribute(u"time"_s, secondsText(bridge.microseconds));
        for (const StepResult &step : bridge.steps) {
            writer.writeStartElement(u"testcase"_s);
            writer.writeAttribute(u"name"_s, stepName(step.step));
            writer.writeAttribute(u"classname"_s, bridge.bridge.name);
            writer.writeAttribute(u"time"_s, secondsText(step.microseconds));
            if (!step.run || !step.passed) {
                writer.writeEmptyElement(step.run ? u"failure"_s : u"skipped"_s);
                writer.writeAttribute(u"message"_s, xmlText(step.error));
            }
            if (!step.detail.isEmpty()) {
                QString values;
                for (auto value = step.detail.begin(); value != step.detail.end(); ++value)
                    values += value.key() + u'=' + valueText(value.value()) + u'\n';
                writer.writeTextElement(u"system-out"_s, xmlText(values));
            }
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    return xml;
}

} // namespace kalveno::check
