#include "SectionList.h"
#include "SectionSender.h"
#include "Session.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/UnitServerConnection.h"

namespace {

bool LogIn(TServerConnection& connection, const TSessionContext& context, const std::string& peer) {
    const auto& accounts = context.Options.Viewers;
    if (accounts.empty()) {
        connection.WriteLine("WELCOME");
        return true;
    }
    connection.WriteLine("AUTH");
    const std::string line = connection.ReadLine();
    const auto account = accounts.find(LineField(line, 0));
    if (account == accounts.end() || account->second != LineField(line, 1)) {
        context.Log(peer + " viewer: login refused for " + LineField(line, 0));
        connection.WriteLine(JoinFields({"FAIL", "Wrong user name or password."}));
        return false;
    }
    context.Log(peer + " viewer: logged in as " + account->first);
    connection.WriteLine("OK");
    return true;
}

void ListGames(TServerConnection& connection, const TSessionContext& context) {
    const auto names = context.Store.Names();
    TServerConnection::TBatch batch(connection);
    connection.WriteInt32(static_cast<std::int32_t>(names.size()));
    for (const auto& name : names)
        connection.WriteLine(name);
}

void ListSections(TServerConnection& connection, const TSessionContext& context,
                  const std::string& name) {
    const auto cast = context.Store.Find(name);
    const std::vector<std::string> lines =
        cast ? SectionListLines(*cast) : std::vector<std::string>{};
    TServerConnection::TBatch batch(connection);
    connection.WriteInt32(static_cast<std::int32_t>(lines.size()));
    for (const auto& line : lines)
        connection.WriteLine(line);
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

void RunViewerSession(TServerConnection& connection, const TSessionContext& context,
                      const std::string& peer, const std::function<void()>& active) {
    if (!LogIn(connection, context, peer))
        return;
    while (!context.Stopping) {
        const std::string line = connection.ReadLine();
        active();
        const std::string command = LineField(line, 0);
        if (command == "LISTGAMES") {
            ListGames(connection, context);
        } else if (command == "LISTSECTIONS") {
            ListSections(connection, context, LineField(line, 1));
        } else if (command == "REQUEST") {
            const TViewRequest request = ParseRequest(line);
            context.Log(peer + " viewer: requests " + request.GameName + " from section " +
                        std::to_string(request.CurrentSection) +
                        (request.AudioOnly ? " (audio only)" : ""));
            const std::string outcome = SendSections(connection, context, request, active);
            context.Log(peer + " viewer: " + outcome);
        } else {
            throw ENelqProtocolError("Unknown command.");
        }
    }
}
