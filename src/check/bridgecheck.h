#pragma once

#include "checklog.h"
#include "checkoptions.h"
#include "report.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <optional>

namespace kalveno::check {

// The check of one bridge: its steps one after another, each bounded by the time-out (each pass
// of loop by one of its own), on non-blocking sockets driven by the event loop, so that any
// number of bridges are checked at once in one thread. A step that needs the first port's
// connection is not run without it; the others run whatever failed before them.
//
// Inputs are read as the console reads them, from the status bytes anywhere in what the first
// port brings: the answers to status requests, and the bytes a bridge sends by itself when an
// input changes. A request is asked again every PollMs while an input reads otherwise than it
// must and no request for it is on its way.
class BridgeCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BridgeCheck)

public:
    static constexpr int PollMs = 10;
    // A configuration reply is far shorter; what arrives without one is not kept past this.
    static constexpr qsizetype MaxReply = 4096;

    BridgeCheck(const Options &options, const Bridge &bridge, QObject *parent = nullptr);

    // Opens the log, when there is a log folder, and begins with the first step.
    void start();
    QString logError() const { return m_logError; }
    const BridgeResult &result() const { return m_result; }

Q_SIGNALS:
    void finished();

private:
    struct Input
    {
        bool watched = false;
        std::optional<bool> expected; // nothing: any answer will do
        std::optional<bool> heard;    // the last state reported since the watch began
        bool asked = false;           // a request is on its way
    };

    Step step() const { return m_options.steps[m_stepIndex]; }
    void runNext();
    void beginStep(Step step);
    void pass(const QJsonObject &detail);
    void fail(const QString &error, const QJsonObject &detail = {});
    void endStep(bool passed, QString error, const QJsonObject &detail);
    void onTimeout();
    QString timeoutError() const;
    void finish();

    void takeConnection(QTcpSocket &socket, const QString &link, quint16 port);
    void onConnected();
    void onError(QAbstractSocket::SocketError error);
    void onReadyRead();
    bool send(const QByteArray &bytes);

    void watchInputs(const QList<int> &inputs, std::optional<bool> expected);
    void onInputs();
    void askInputs();
    bool inputsRead() const;
    void nextMove();

    void takeConfigReply();

    void onLoopConnected();
    void onLoopError();
    void onLoopRead();
    void sendPass();

    const Options &m_options;
    BridgeResult m_result;
    CheckLog m_log;
    QString m_logError;
    QString m_link;
    QString m_loopLink;
    QTcpSocket m_tcp;
    QTcpSocket m_loop;
    QTimer m_timeout;
    QTimer m_poll;
    QElapsedTimer m_clock;
    QElapsedTimer m_stepClock;
    qsizetype m_stepIndex = -1;
    bool m_connected = false;
    QString m_unconnected =
        QStringLiteral("not run: connect failed"); // why steps that need it are not run
    bool m_ending = false; // the sockets are being let go: their signals are ours

    std::array<Input, 2> m_inputs;
    QList<std::pair<int, bool>> m_moves; // outputs to switch, in turn
    qsizetype m_move = 0;
    bool m_finalStatus = false; // outputs without a jig: the status request after the moves

    QByteArray m_text; // what the first port brought during config, without status bytes

    bool m_loopConnected = false;
    int m_pass = 0;
    QByteArray m_echo;
};

} // namespace kalveno::check
