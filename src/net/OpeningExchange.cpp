#include "net/OpeningExchange.h"

#include "net/LineFields.h"
#include "net/UnitServerConnection.h"

TVerdict ReadVerdict(TServerConnection& connection) {
    const std::string reply = connection.ReadLine();
    if (LineField(reply, 0) == "OK")
        return {true, {}};
    return {false, LineField(reply, 1)};
}

std::string HelloLine(const std::string& clientVersion, const char* roleCode) {
    return JoinFields({clientVersion, roleCode});
}

TVerdict RunOpeningExchange(TServerConnection& connection, const std::string& clientVersion,
                            const char* roleCode) {
    connection.ReadLine(); // the greeting says nothing we act on
    connection.WriteLine(HelloLine(clientVersion, roleCode));
    return ReadVerdict(connection);
}
