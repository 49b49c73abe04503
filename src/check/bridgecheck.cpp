#include "bridgecheck.h"

#include "protocol/bridgeio.h"
#include "protocol/sendtest.h"
#include "protocol/traffic.h"
#include "protocol/ttlstatus.h"
#include "protocol/turnstile.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace kalveno::check {

namespace {

constexpr qsizetype MaxShown = 40;

// Device bytes in a message: printable ASCII as it is, anything else as \xNN, cut when long.
QString shown(QByteArrayView bytes)
{
    QString text;
    for (const char c : bytes.first(qMin(bytes.size(), MaxShown))) {
        const auto b = static_cast<unsigned char>(c);
        text += b >= 0x20 && b < 0x7F ? QString(QLatin1Char(c))
                                      : u"\\x%1"_s.arg(uint(b), 2, 16, QChar(u'0'));
    }
    return bytes.size() > MaxShown ? text + u"..."_s : text;
}

QString onOff(bool on)
{
    return on ? u"on"_s : u"off"_s;
}

QString jigText(const QList<bridgeio::JigWire> &jig)
{
    QStringList wires;
    for (const bridgeio::JigWire &wire : jig)
        wires.append(u"%1:%2"_s.arg(wire.output).arg(wire.input));
    return wires.join(u',');
}

QString detailText(const QJsonObject &detail)
{
    QStringList values;
    for (auto value = detail.begin(); value != detail.end(); ++value)
        values.append(value.key() + u'=' + value.value().toVariant().toString());
    return values.join(u' ');
}

} // namespace

BridgeCheck::BridgeCheck(const Options &options, const Bridge &bridge, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_link(linkname::tcp(options.tcpPort))
    , m_loopLink(linkname::tcp(options.loopPort))
{
    m_result.bridge = bridge;
    m_timeout.setSingleShot(true);
    m_poll.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &BridgeCheck::onTimeout);
    connect(&m_poll, &QTimer::timeout, this, &BridgeCheck::askInputs);
    connect(&m_tcp, &QTcpSocket::connected, this, &BridgeCheck::onConnected);
    connect(&m_tcp, &QTcpSocket::errorOccurred, this, &BridgeCheck::onError);
    connect(&m_tcp, &QTcpSocket::readyRead, this, &BridgeCheck::onReadyRead);
    connect(&m_loop, &QTcpSocket::connected, this, &BridgeCheck::onLoopConnected);
    connect(&m_loop, &QTcpSocket::errorOccurred, this, &BridgeCheck::onLoopError);
    connect(&m_loop, &QTcpSocket::readyRead, this, &BridgeCheck::onLoopRead);
}

void BridgeCheck::start()
{
    m_clock.start();
    if (!m_options.logDir.isEmpty()) {
        const QString path = QDir(m_options.logDir).filePath(logFileName(m_result.bridge.name));
        if (!m_log.open(path, &m_logError))
            m_logError = path + u": "_s + m_logError;
    }
    m_log.event(
        linkname::Check.toString(),
        u"checking %1 at %2"_s.arg(m_result.bridge.name, m_result.bridge.address.toString()));
    runNext();
}

void BridgeCheck::runNext()
{
    while (++m_stepIndex < m_options.steps.size()) {
        if (m_connected || !needsConnection(step())) {
            beginStep(step());
            return;
        }
        StepResult skipped;
        skipped.step = step();
        skipped.error = m_unconnected;
        m_result.steps.append(skipped);
        m_log.event(linkname::Check.toString(), stepName(step()) + u" "_s + m_unconnected);
    }
    finish();
}

void BridgeCheck::beginStep(Step step)
{
    m_stepClock.start();
    m_timeout.start(m_options.timeoutMs);
    switch (step) {
    case Step::Connect:
        m_tcp.connectToHost(m_result.bridge.address, m_options.tcpPort);
        break;
    case Step::Status:
        watchInputs({1, 2}, std::nullopt);
        break;
    case Step::Outputs:
        m_moves.clear();
        for (int output = 1; output <= 4; ++output)
            m_moves << std::pair{output, true} << std::pair{output, false};
        m_move = 0;
        m_finalStatus = false;
        nextMove();
        break;
    case Step::Config:
        m_text.clear();
        send(turnstile::ReadConfigRequest.toByteArray());
        break;
    case Step::Loop:
        m_loopConnected = false;
        m_pass = 0;
        m_echo.clear();
        m_loop.connectToHost(m_result.bridge.address, m_options.loopPort);
        break;
    }
}

void BridgeCheck::pass(const QJsonObject &detail)
{
    endStep(true, {}, detail);
}

void BridgeCheck::fail(const QString &error, const QJsonObject &detail)
{
    endStep(false, error, detail);
}

void BridgeCheck::endStep(bool passed, QString error, const QJsonObject &detail)
{
    m_timeout.stop();
    m_poll.stop();
    if (passed) {
        QStringList wrong;
        for (const auto &[key, value] : m_options.expected) {
            const auto reported = detail.constFind(key);
            if (reported != detail.constEnd() && reported->toString() != value)
                wrong.append(u"%1 is %2, expected %3"_s.arg(key, reported->toString(), value));
        }
        passed = wrong.isEmpty();
        error = wrong.join(u", "_s);
    }
    StepResult result;
    result.step = step();
    result.run = true;
    result.passed = passed;
    result.microseconds = m_stepClock.nsecsElapsed() / 1000;
    result.detail = detail;
    result.error = error;
    m_result.steps.append(result);
    m_log.event(linkname::Check.toString(),
                u"%1 %2 in %3 ms%4"_s.arg(stepName(step()), passed ? u"passed"_s : u"failed"_s)
                    .arg(double(result.microseconds) / 1000.0, 0, 'f', 1)
                    .arg((passed ? QString() : u": "_s + error) +
                         (detail.isEmpty() ? QString() : u"; "_s + detailText(detail))));
    if (step() == Step::Loop && m_loop.state() != QAbstractSocket::UnconnectedState) {
        m_ending = true;
        m_loop.abort();
        m_ending = false;
        m_log.event(m_loopLink, u"closed"_s);
    }
    runNext();
}

void BridgeCheck::onTimeout()
{
    const QString error = timeoutError();
    if (step() == Step::Connect || (step() == Step::Loop && !m_loopConnected)) {
        m_ending = true;
        (step() == Step::Connect ? m_tcp : m_loop).abort();
        m_ending = false;
        m_log.event(step() == Step::Connect ? m_link : m_loopLink, u"error: "_s + error);
    }
    fail(error);
}

QString BridgeCheck::timeoutError() const
{
    const QString within = u"within %1 ms"_s.arg(m_options.timeoutMs);
    switch (step()) {
    case Step::Connect:
        return u"no connection to port %1 %2"_s.arg(m_options.tcpPort).arg(within);
    case Step::Status:
    case Step::Outputs: {
        if (step() == Step::Outputs && !m_finalStatus) {
            const auto [output, on] = m_moves[m_move - 1];
            QStringList wrong;
            for (int input = 1; input <= 2; ++input) {
                const Input &in = m_inputs[input - 1];
                if (in.watched && in.heard != in.expected)
                    wrong.append(
                        u"input %1 did not follow output %2 %3 %4 (%5)"_s.arg(input)
                            .arg(output)
                            .arg(onOff(on), within,
                                 in.heard ? u"it reads "_s + onOff(*in.heard) : u"no answer"_s));
            }
            return wrong.join(u", "_s);
        }
        QStringList silent;
        for (int input = 1; input <= 2; ++input) {
            if (m_inputs[input - 1].watched && !m_inputs[input - 1].heard)
                silent.append(QString::number(input));
        }
        return u"no answer to the status request of %1 %2 %3%4"_s.arg(
            silent.size() == 1 ? u"input"_s : u"inputs"_s, silent.join(u" and "_s), within,
            m_finalStatus ? u" after the output commands"_s : QString());
    }
    case Step::Config:
        if (const qsizetype start = m_text.indexOf(turnstile::ConfigReplyHead); start >= 0)
            return u"no whole configuration reply %1: \"%2\" without its closing *"_s.arg(
                within, shown(m_text.sliced(start)));
        return u"no configuration reply %1"_s.arg(within);
    case Step::Loop:
        if (!m_loopConnected)
            return u"no connection to port %1 %2"_s.arg(m_options.loopPort).arg(within);
        return u"pass %1: %2 of %3 bytes came back %4"_s.arg(m_pass)
            .arg(m_echo.size())
            .arg(sendtest::PatternLength)
            .arg(within);
    }
    return {};
}

void BridgeCheck::finish()
{
    m_ending = true;
    if (m_tcp.state() == QAbstractSocket::ConnectedState)
        m_log.event(m_link, u"closed"_s);
    m_tcp.abort();
    m_loop.abort();
    m_ending = false;
    m_result.microseconds = m_clock.nsecsElapsed() / 1000;
    m_result.passed = std::all_of(m_result.steps.begin(), m_result.steps.end(),
                                  [](const StepResult &step) { return step.passed; });
    m_log.event(linkname::Check.toString(),
                u"%1 %2"_s.arg(m_result.bridge.name, m_result.passed ? u"passed"_s : u"failed"_s));
    m_log.close();
    Q_EMIT finished();
}

void BridgeCheck::takeConnection(QTcpSocket &socket, const QString &link, quint16 port)
{
    // Frames and patterns go one at a time and wait for their answer: none is held back.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_log.event(link, u"connected to %1:%2"_s.arg(m_result.bridge.address.toString()).arg(port));
}

void BridgeCheck::onConnected()
{
    m_connected = true;
    takeConnection(m_tcp, m_link, m_options.tcpPort);
    pass({{u"port"_s, m_options.tcpPort}});
}

void BridgeCheck::onError(QAbstractSocket::SocketError error)
{
    if (m_ending || m_stepIndex >= m_options.steps.size())
        return;
    const bool closed = error == QAbstractSocket::RemoteHostClosedError;
    m_log.event(m_link, closed ? u"closed by the peer"_s : u"error: "_s + m_tcp.errorString());
    if (!m_connected) {
        if (step() == Step::Connect)
            fail(
                u"cannot connect to port %1: %2"_s.arg(m_options.tcpPort).arg(m_tcp.errorString()));
        return;
    }
    m_connected = false;
    const QString lost = closed ? u"the bridge closed the connection"_s
                                : u"the connection failed: "_s + m_tcp.errorString();
    m_unconnected = u"not run: "_s + lost;
    if (needsConnection(step()))
        fail(lost);
}

void BridgeCheck::onReadyRead()
{
    const QByteArray bytes = m_tcp.readAll();
    if (bytes.isEmpty())
        return;
    m_log.received(m_link, bytes);
    const TtlStatus status = takeTtlStatus(bytes);
    for (const auto &[input, on] : {std::pair{0, status.input1On}, std::pair{1, status.input2On}}) {
        if (on) {
            m_inputs[input].heard = on;
            m_inputs[input].asked = false;
        }
    }
    if (m_stepIndex >= m_options.steps.size() || !m_timeout.isActive())
        return;
    if (step() == Step::Status || step() == Step::Outputs) {
        onInputs();
    } else if (step() == Step::Config) {
        m_text += status.display;
        takeConfigReply();
    }
}

bool BridgeCheck::send(const QByteArray &bytes)
{
    if (m_tcp.write(bytes) != bytes.size()) {
        fail(u"cannot send: "_s + m_tcp.errorString());
        return false;
    }
    m_log.sent(m_link, bytes);
    return true;
}

void BridgeCheck::watchInputs(const QList<int> &inputs, std::optional<bool> expected)
{
    m_inputs = {};
    for (const int input : inputs) {
        m_inputs[input - 1].watched = true;
        m_inputs[input - 1].expected = expected;
    }
    askInputs();
}

bool BridgeCheck::inputsRead() const
{
    return std::all_of(m_inputs.begin(), m_inputs.end(), [](const Input &in) {
        return !in.watched || (in.heard && (!in.expected || in.heard == in.expected));
    });
}

void BridgeCheck::onInputs()
{
    if (!inputsRead()) {
        // An answer from before the last command may come first: ask again once it is in.
        const bool again = std::any_of(m_inputs.begin(), m_inputs.end(), [](const Input &in) {
            return in.watched && in.heard && !in.asked;
        });
        if (again && !m_poll.isActive())
            m_poll.start(PollMs);
        return;
    }
    m_poll.stop();
    if (step() == Step::Status) {
        pass({{u"input1"_s, onOff(*m_inputs[0].heard)}, {u"input2"_s, onOff(*m_inputs[1].heard)}});
        return;
    }
    nextMove();
}

void BridgeCheck::askInputs()
{
    for (int input = 1; input <= 2; ++input) {
        Input &in = m_inputs[input - 1];
        if (!in.watched || in.asked || (in.heard && (!in.expected || in.heard == in.expected)))
            continue;
        if (!send(bridgeio::frame(bridgeio::inputStatusRequest(input))))
            return;
        in.asked = true;
    }
}

void BridgeCheck::nextMove()
{
    while (m_move < m_moves.size()) {
        const auto [output, on] = m_moves[m_move++];
        if (!send(bridgeio::frame(bridgeio::outputSwitch(output, on))))
            return;
        QList<int> wired;
        for (const bridgeio::JigWire &wire : m_options.jig) {
            if (wire.output == output)
                wired.append(wire.input);
        }
        if (!wired.isEmpty()) {
            watchInputs(wired, on);
            return;
        }
    }
    // Without a jig, the bridge must still answer once it has taken the commands.
    if (m_options.jig.isEmpty() && !m_finalStatus) {
        m_finalStatus = true;
        watchInputs({1}, std::nullopt);
        return;
    }
    QJsonObject detail{{u"outputs"_s, u"1,2,3,4"_s}};
    if (!m_options.jig.isEmpty())
        detail.insert(u"jig"_s, jigText(m_options.jig));
    pass(detail);
}

void BridgeCheck::takeConfigReply()
{
    const qsizetype start = m_text.indexOf(turnstile::ConfigReplyHead);
    if (start < 0) {
        // Keep what may be the beginning of a reply, and nothing else.
        if (m_text.size() > MaxReply)
            m_text = m_text.last(3);
        return;
    }
    const qsizetype end = m_text.indexOf(turnstile::ConfigReplyEnd, start);
    if (end < 0) {
        if (m_text.size() - start > MaxReply)
            fail(u"a configuration reply of more than %1 bytes without its closing *"_s.arg(
                MaxReply));
        return;
    }
    const QByteArray reply = m_text.sliced(start, end + 1 - start);
    const turnstile::ConfigReply decoded = turnstile::decodeConfigReply(reply);
    QJsonObject detail;
    for (const auto &[key, value] : turnstile::configReplyFields(decoded))
        detail.insert(key, value);
    constexpr qsizetype Fields = 9;
    if (decoded.fieldCount < Fields)
        fail(u"the configuration reply has %1 fields, not %2: \"%3\""_s.arg(decoded.fieldCount)
                 .arg(Fields)
                 .arg(shown(reply)),
             detail);
    else
        pass(detail);
}

void BridgeCheck::onLoopConnected()
{
    m_loopConnected = true;
    takeConnection(m_loop, m_loopLink, m_options.loopPort);
    sendPass();
}

void BridgeCheck::onLoopError()
{
    if (m_ending || m_stepIndex >= m_options.steps.size() || step() != Step::Loop)
        return;
    const bool closed = m_loop.error() == QAbstractSocket::RemoteHostClosedError;
    m_log.event(m_loopLink, closed ? u"closed by the peer"_s : u"error: "_s + m_loop.errorString());
    if (!m_loopConnected)
        fail(u"cannot connect to port %1: %2"_s.arg(m_options.loopPort).arg(m_loop.errorString()));
    else
        fail(u"pass %1: %2"_s.arg(m_pass).arg(closed ? u"the bridge closed the connection"_s
                                                     : m_loop.errorString()));
}

void BridgeCheck::sendPass()
{
    static const QByteArray pattern = sendtest::pattern();
    ++m_pass;
    m_timeout.start(m_options.timeoutMs);
    if (m_loop.write(pattern) != pattern.size()) {
        fail(u"pass %1: cannot send: %2"_s.arg(m_pass).arg(m_loop.errorString()));
        return;
    }
    m_log.sent(m_loopLink, pattern,
               u"send test pattern, pass %1 of %2"_s.arg(m_pass).arg(sendtest::Passes));
}

void BridgeCheck::onLoopRead()
{
    const QByteArray bytes = m_loop.readAll();
    if (bytes.isEmpty() || m_ending)
        return;
    m_log.received(m_loopLink, bytes);
    if (m_stepIndex >= m_options.steps.size() || step() != Step::Loop || !m_timeout.isActive())
        return;
    // The console takes input status bytes out of all it receives, the echo included.
    m_echo += takeTtlStatus(bytes).display;
    const qsizetype length = sendtest::PatternLength;
    if (m_echo.size() < length)
        return;
    static const QByteArray pattern = sendtest::pattern();
    const auto differ = std::mismatch(pattern.begin(), pattern.end(), m_echo.begin());
    if (differ.first != pattern.end()) {
        fail(u"pass %1: byte %2 came back as \"%3\", sent \"%4\""_s.arg(m_pass)
                 .arg(differ.first - pattern.begin() + 1)
                 .arg(shown(QByteArrayView(&*differ.second, 1)),
                      shown(QByteArrayView(&*differ.first, 1))));
        return;
    }
    if (m_echo.size() > length) {
        fail(u"pass %1: %2 bytes more came back than were sent: \"%3\""_s.arg(m_pass)
                 .arg(m_echo.size() - length)
                 .arg(shown(m_echo.sliced(length))));
        return;
    }
    m_echo.clear();
    if (m_pass < sendtest::Passes)
        sendPass();
    else
        pass({{u"passes"_s, sendtest::Passes}});
}

} // namespace kalveno::check
