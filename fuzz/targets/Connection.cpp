#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "WirePeer.h"

#include "net/OpeningExchange.h"
#include "net/UnitServerConnection.h"

#include <future>
#include <sstream>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// One read of the protocol's units, as the roles make them; false once the
// connection has failed.
bool ReadUnit(TServerConnection& connection, std::uint8_t op) {
    try {
        switch (op % 5) {
        case 0: {
            const std::string line = connection.ReadLine();
            FuzzCheck(line.size() <= TServerConnection::MaxLineLength, "a line over the limit");
            FuzzCheck(line.find('\n') == std::string::npos, "a line holds its line end");
            break;
        }
        case 1:
            connection.ReadInt32();
            break;
        case 2:
            FuzzCheck(connection.ReadLines(64).size() <= 64, "a list over its limit");
            break;
        case 3: {
            std::ostringstream block;
            const std::int32_t count = connection.ReadCounted(block, 100000);
            FuzzCheck(count >= 0 && count <= 100000, "a block over its limit");
            FuzzCheck(block.str().size() == static_cast<std::size_t>(count),
                      "a block of another size than its count");
            break;
        }
        default:
            RunOpeningExchange(connection, "1.0.0.47", ViewerRole.RoleCode);
        }
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace

// The connection layer under a server's replies: the first part chooses the
// reads (one byte each), the second is what the server sends.
void FuzzConnection(const std::uint8_t* data, std::size_t size) {
    const auto parts = SplitParts(AsText(data, size), 2);
    const std::string_view reads = parts[0];
    const std::string_view replies = parts.size() > 1 ? parts[1] : std::string_view();

    TSocketPair pair;
    TServerConnection connection;
    connection.Adopt(pair.Far);
    pair.Far = -1;
    auto server = std::async(std::launch::async,
                             [&pair, replies] { return FeedAndDrain(pair.Near, replies, 10s); });
    for (const char op : reads)
        if (!ReadUnit(connection, static_cast<std::uint8_t>(op)))
            break;
    connection.Disconnect();
    FuzzCheck(server.get(), "the connection stayed open after its owner closed it");
}
