#include "app/ClientHandOver.h"

#include "app/HandOverMessage.h"
#include "app/UnitSettingsStore.h"
#include "platform/PrivateRuntimeDirectory.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Taken[] = "taken";
constexpr char Refused[] = "refused\t";
const QString Unreadable = QStringLiteral("The request could not be read.");
// The window serves events before it is done (an error box at start-up).
const QString NotReady =
    QStringLiteral("The running client is still starting; try again in a moment.");

// Held while a starting client decides whether to hand over or to listen, so
// that two clients started at once do not both take the socket.
class FileLock {
public:
    explicit FileLock(const QString& path)
        : Fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (Fd >= 0)
            while (::flock(Fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FileLock() {
        if (Fd >= 0)
            ::close(Fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    const int Fd;
};

bool AsksForSomething(const TPendingRequest& request) {
    return !request.LinkHost.isEmpty() || !request.Archive.isEmpty();
}

// The running client's answer, or none when it gave none in time.
std::optional<TClientHandOver::TResult> Ask(QLocalSocket& running, const std::string& message) {
    running.write(message.c_str(), static_cast<qint64>(message.size() + 1));
    QDeadlineTimer deadline(TClientHandOver::AnswerMilliseconds);
    QByteArray reply;
    while (!reply.contains('\n')) {
        if (reply.size() > qsizetype(HandOverMessageLimit) ||
            !running.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
        reply += running.readAll();
    }
    reply.truncate(reply.indexOf('\n'));
    if (reply == Taken)
        return TClientHandOver::TResult{TClientHandOver::TOutcome::HandedOver, {}};
    if (reply.startsWith(Refused))
        return TClientHandOver::TResult{
            TClientHandOver::TOutcome::Refused,
            QString::fromUtf8(reply.mid(qsizetype(sizeof Refused) - 1))};
    return std::nullopt;
}

} // namespace

TClientHandOver::TClientHandOver(QString socketPath, QObject* parent)
    : QObject(parent), SocketPath(std::move(socketPath)) {}

TClientHandOver::~TClientHandOver() = default;

TClientHandOver::TResult TClientHandOver::Start(const TPendingRequest& request) {
    if (SocketPath.isEmpty())
        return {};
    const FileLock lock(SocketPath + QStringLiteral(".lock"));
    QLocalSocket running;
    running.connectToServer(SocketPath);
    if (running.waitForConnected(AnswerMilliseconds)) {
        // Without a request a second window opens, as it always did; the
        // running client keeps the socket.
        if (!AsksForSomething(request))
            return {};
        const std::string message = HandOverMessage(CommandLineRequestOf(request));
        if (const std::optional<TResult> answer = Ask(running, message))
            return *answer;
    }
    running.abort();
    Listen();
    return {};
}

void TClientHandOver::Listen() {
    // What is left there belongs to a client that is gone.
    QLocalServer::removeServer(SocketPath);
    auto server = std::make_unique<QLocalServer>(this);
    if (!server->listen(SocketPath))
        return;
    ::chmod(QFile::encodeName(SocketPath).constData(), 0600);
    Server = server.release();
    connect(Server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = Server->nextPendingConnection())
            Serve(peer);
    });
}

void TClientHandOver::Serve(QLocalSocket* peer) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    // A peer that sends nothing, or too slowly, is let go.
    QTimer::singleShot(AnswerMilliseconds, peer, [peer] {
        peer->abort();
        peer->deleteLater();
    });
    auto received = std::make_shared<QByteArray>();
    connect(peer, &QLocalSocket::readyRead, this, [this, peer, received] {
        received->append(peer->read(qint64(HandOverMessageLimit) + 1 - received->size()));
        const qsizetype end = received->indexOf('\0');
        if (end < 0 && received->size() <= qsizetype(HandOverMessageLimit))
            return;
        disconnect(peer, &QLocalSocket::readyRead, this, nullptr);
        peer->write(Answer(end < 0 ? QByteArray() : received->left(end)) + '\n');
        peer->disconnectFromServer();
    });
}

QByteArray TClientHandOver::Answer(const QByteArray& message) const {
    const std::optional<CommandLineRequest> request =
        ReadHandOverMessage(std::string_view(message.constData(), std::size_t(message.size())));
    const std::optional<QString> refusal = !request ? Unreadable
                                           : !Take  ? NotReady
                                                    : Take(PendingRequestOf(*request));
    return refusal ? Refused + refusal->simplified().toUtf8() : QByteArray(Taken);
}

QString HandOverSocketPath() {
    const std::string directory = PrivateRuntimeDirectory();
    if (directory.empty())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(SettingsStore::UserFileName().toUtf8());
    hash.addData("\n");
    // Tests give each client a home of its own besides its settings.
    hash.addData(qgetenv("NELQ_HOME"));
    return QFile::decodeName(QByteArray::fromStdString(directory)) + QStringLiteral("/handover-") +
           QString::fromLatin1(hash.result().toHex().left(16));
}
