#pragma once

#include "app/CommandLine.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// One client per user's settings. A client started with a link or an archive
// while another runs with the same settings hands the request to it over a
// local socket and leaves; otherwise it becomes the one that listens. Clients
// with other settings (the tests run many at once) use other sockets.
class TClientHandOver : public QObject {
    Q_OBJECT
public:
    enum class TOutcome { StartHere, HandedOver, Refused };
    struct TResult {
        TOutcome Outcome = TOutcome::StartHere;
        QString Reason; // why the running client refused
    };

    // An empty path turns the hand-over off.
    explicit TClientHandOver(QString socketPath, QObject* parent = nullptr);
    ~TClientHandOver() override;

    // Before the window exists: hands a request that asks for something to
    // the running client, or else listens. A running client that does not
    // answer in time, or whose socket is left from a crash, counts as gone.
    TResult Start(const TPendingRequest& request);
    bool Listening() const { return Server != nullptr; }

    // The window's side: why it refuses a handed request, nothing when it takes it.
    std::function<std::optional<QString>(const TPendingRequest&)> Take;

    // How long a running client has to answer; also how long a peer may take
    // to send its request. A client answers once its window is built, which
    // on a busy machine takes seconds; a crashed one refuses at once.
    static constexpr int AnswerMilliseconds = 10000;

private:
    void Listen();
    void Serve(QLocalSocket* peer);
    QByteArray Answer(const QByteArray& message) const;

    const QString SocketPath;
    QLocalServer* Server = nullptr;
};

// The socket shared by the clients of this user's settings (and $NELQ_HOME).
QString HandOverSocketPath();
