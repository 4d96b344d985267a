#include "AsyncConnection.h"
#include "CastNews.h"
#include "Session.h"

#include "net/CastNameCheck.h"
#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/WireUnits.h"

#include <fstream>
#include <memory>

namespace {

// How long a filmer that logs in waits for the connection it replaces to go.
constexpr auto FilmerHandOver = std::chrono::seconds(5);

// The cast a filmer logged in to; the filmer stays attached while it lives.
struct TFilmerLogin {
    std::shared_ptr<TCast> Cast;
    std::string Refusal;
};

TFilmerLogin LogIn(const std::string& line, const TSessionContext& context) {
    if (LineField(line, 0) != "AUTH")
        return {nullptr, "Expected a login."};
    if (context.Options.FilmPassword && LineField(line, 1) != *context.Options.FilmPassword)
        return {nullptr, "Wrong filming password."};
    const std::string mode = LineField(line, 2);
    const std::string name = LineField(line, 3);
    if (const std::string problem = CastNameProblem(name); !problem.empty())
        return {nullptr, problem};
    if (mode == "NEW") {
        auto cast = context.Store.Open(name);
        if (!cast)
            return {nullptr, "A game named " + name + " already exists on this server."};
        return {cast, {}};
    }
    if (mode == "RESUME") {
        auto cast = context.Store.Find(name);
        // A completed cast is let in too: a filmer that did not see its
        // completion acknowledged sends its last section's tail and
        // "COMPLETED" again, which add nothing; new sections stay refused.
        if (!cast)
            return {nullptr, "There is no game named " + name + " to resume."};
        return {cast, {}};
    }
    return {nullptr, "Unknown login mode."};
}

// Serves one logged-in filmer; the part files it appends to stay open
// between blocks of a section.
class TFilmerSession {
public:
    TFilmerSession(TAsyncConnection& connection, TCast& cast, const TSessionContext& context,
                   const std::string& peer)
        : Connection(connection), Cast(cast), Context(context), Peer(peer) {}

    asio::awaitable<void> Run() {
        while (!Context.Stopping) {
            // The blocks of a pass come back to back: viewers hear of them
            // once the filmer has sent nothing more for now.
            if (!Connection.HasInput())
                Cast.PublishNews();
            const std::string line = co_await Connection.ReadLine();
            const std::string command = LineField(line, 0);
            if (command == "TRANSMIT")
                co_await Transmit(line);
            else if (command == "BLOCK")
                co_await Block();
            else if (command == "HI")
                co_await Connection.Write(Wire::Line("HI"));
            else if (command == "COMPLETED")
                Complete();
            else
                throw ENelqProtocolError("Unknown command.");
        }
    }

private:
    asio::awaitable<void> Transmit(const std::string& line) {
        std::int32_t section = 0;
        if (LineField(line, 1) != "2" || !ParseInt32(LineField(line, 2), section))
            throw ENelqProtocolError("Malformed TRANSMIT line.");
        std::array<TPartState, 2> parts;
        for (auto& part : parts) {
            part.Kind = co_await Connection.ReadInt32();
            part.Size = co_await Connection.ReadInt32();
            part.BodyOffset = co_await Connection.ReadInt32();
        }
        for (auto& file : Files)
            file.close();
        const auto offsets = Cast.Announce(section, parts);
        for (int p = 0; p < 2; ++p)
            Files[p] = Cast.OpenPart(section, p);
        Section = section;
        Context.Log(Peer + " filmer: section " + std::to_string(section) + " of " + Cast.Name +
                    " announced (" + std::to_string(parts[0].Size) + " + " +
                    std::to_string(parts[1].Size) + " bytes), resuming at " +
                    std::to_string(offsets[0]) + " and " + std::to_string(offsets[1]));
        std::string reply;
        Wire::AppendInt32(reply, offsets[0]);
        Wire::AppendInt32(reply, offsets[1]);
        co_await Connection.Write(reply);
    }

    asio::awaitable<void> Block() {
        const std::int32_t part = co_await Connection.ReadInt32();
        const std::int32_t kind = co_await Connection.ReadInt32();
        if (part != 0 && part != 1)
            throw ENelqProtocolError("Block for part " + std::to_string(part) + ".");
        if (Section < 0)
            throw ENelqProtocolError("Block before any TRANSMIT.");
        if (kind == 1) {
            Cast.EndPart(Section, part);
            co_return;
        }
        if (kind != 0)
            throw ENelqProtocolError("Block of kind " + std::to_string(kind) + ".");
        std::ofstream& file = Files[static_cast<std::size_t>(part)];
        const std::int32_t got =
            co_await Connection.ReadCounted(file, Cast.Remaining(Section, part));
        if (!file.flush())
            throw ENelqException("Cannot write the part file.");
        Cast.Received(Section, part, got);
    }

    void Complete() {
        Cast.MarkCompleted();
        Context.Log(Peer + " filmer: " + Cast.Name + " completed");
    }

    TAsyncConnection& Connection;
    TCast& Cast;
    const TSessionContext& Context;
    const std::string& Peer;
    std::int32_t Section = -1;
    std::array<std::ofstream, 2> Files;
};

// Keeps a filmer attached to its cast for as long as its session runs.
class TFilmerAttachment {
public:
    TFilmerAttachment(TCast& cast, TAsyncConnection& connection)
        : Cast(cast), Connection(connection) {}
    ~TFilmerAttachment() {
        if (Attached)
            Cast.DetachFilmer(&Connection);
    }
    TFilmerAttachment(const TFilmerAttachment&) = delete;
    TFilmerAttachment& operator=(const TFilmerAttachment&) = delete;

    // Shuts the filmer attached now and waits a while for it to go.
    asio::awaitable<bool> Attach(const TSessionContext& context) {
        const auto until = std::chrono::steady_clock::now() + FilmerHandOver;
        const std::weak_ptr<TAsyncConnection> self = Connection.weak_from_this();
        TNewsWait waitForNews(Cast, co_await asio::this_coro::executor);
        for (;;) {
            const auto attempt = Cast.AttachFilmer(&Connection, [self] {
                if (const auto connection = self.lock())
                    connection->Close();
            });
            Attached = attempt.Attached;
            const auto left = until - std::chrono::steady_clock::now();
            if (attempt.Attached || attempt.Deleted || context.Stopping || left <= left.zero())
                co_return Attached;
            co_await waitForNews(attempt.Version, left);
        }
    }

private:
    TCast& Cast;
    TAsyncConnection& Connection;
    bool Attached = false;
};

} // namespace

asio::awaitable<void> RunFilmerSession(TAsyncConnection& connection,
                                       const TSessionContext& context, const std::string& peer,
                                       const std::function<void()>& loggedIn) {
    const std::string line = co_await connection.ReadLine();
    const TFilmerLogin login = LogIn(line, context);
    if (!login.Cast) {
        context.Log(peer + " filmer: login refused: " + login.Refusal);
        co_await connection.Write(RefusalLine("FAIL", login.Refusal));
        co_return;
    }
    TFilmerAttachment attachment(*login.Cast, connection);
    if (!co_await attachment.Attach(context)) {
        const char* refusal = "Another filmer is still connected to this game.";
        context.Log(peer + " filmer: login refused: " + refusal);
        co_await connection.Write(RefusalLine("FAIL", refusal));
        co_return;
    }
    context.Log(peer + " filmer: logged in (" + LineField(line, 2) + ") to " + login.Cast->Name);
    co_await connection.Write(Wire::Line("OK"));
    loggedIn();
    TFilmerSession session(connection, *login.Cast, context, peer);
    co_await session.Run();
}
