#include "AsyncConnection.h"
#include "SectionList.h"
#include "SectionSender.h"
#include "Session.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/WireUnits.h"

namespace {

asio::awaitable<bool> LogIn(TAsyncConnection& connection, const TSessionContext& context,
                            const std::string& peer) {
    const auto& accounts = context.Options.Viewers;
    if (accounts.empty()) {
        co_await connection.Write(Wire::Line("WELCOME"));
        co_return true;
    }
    co_await connection.Write(Wire::Line("AUTH"));
    const std::string line = co_await connection.ReadLine();
    const auto account = accounts.find(LineField(line, 0));
    if (account == accounts.end() || account->second != LineField(line, 1)) {
        context.Log(peer + " viewer: login refused for " + LineField(line, 0));
        co_await connection.Write(RefusalLine("FAIL", "Wrong user name or password."));
        co_return false;
    }
    context.Log(peer + " viewer: logged in as " + account->first);
    co_await connection.Write(Wire::Line("OK"));
    co_return true;
}

// A count and that many lines, in one message.
std::string ListReply(const std::vector<std::string>& lines) {
    std::string reply;
    Wire::AppendInt32(reply, static_cast<std::int32_t>(lines.size()));
    for (const auto& line : lines)
        Wire::AppendLine(reply, line);
    return reply;
}

std::vector<std::string> SectionLines(const TSessionContext& context, const std::string& name) {
    const auto cast = context.Store.Find(name);
    return cast ? SectionListLines(*cast) : std::vector<std::string>{};
}

TViewRequest ParseRequest(const std::string& line) {
    TViewRequest request;
    request.GameName = LineField(line, 1);
    const std::string audioOnly = LineField(line, 4);
    if (!ParseInt32(LineField(line, 2), request.StartSection) ||
        !ParseInt32(LineField(line, 3), request.CurrentSection) ||
        (audioOnly != "TRUE" && audioOnly != "FALSE"))
        throw ENelqProtocolError("Malformed REQUEST line.");
    if (request.StartSection < 0 || request.StartSection > request.CurrentSection ||
        request.CurrentSection > TCast::LastSection + 1)
        throw ENelqProtocolError("Requested sections out of range.");
    request.AudioOnly = audioOnly == "TRUE";
    return request;
}

} // namespace

asio::awaitable<void> RunViewerSession(TAsyncConnection& connection,
                                       const TSessionContext& context, const std::string& peer) {
    if (!co_await LogIn(connection, context, peer))
        co_return;
    while (!context.Stopping) {
        const std::string line = co_await connection.ReadLine();
        connection.Touch();
        const std::string command = LineField(line, 0);
        if (command == "LISTGAMES") {
            co_await connection.Write(ListReply(context.Store.Names()));
        } else if (command == "LISTSECTIONS") {
            co_await connection.Write(ListReply(SectionLines(context, LineField(line, 1))));
        } else if (command == "REQUEST") {
            const TViewRequest request = ParseRequest(line);
            context.Log(peer + " viewer: requests " + request.GameName + " from section " +
                        std::to_string(request.CurrentSection) +
                        (request.AudioOnly ? " (audio only)" : ""));
            const std::string outcome = co_await SendSections(connection, context, request);
            context.Log(peer + " viewer: " + outcome);
        } else {
            throw ENelqProtocolError("Unknown command.");
        }
    }
}
