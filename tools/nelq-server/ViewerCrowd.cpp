#include "ViewerCrowd.h"

#include "AsyncConnection.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/WireUnits.h"

#include <asio.hpp>

#include <mutex>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fault(const std::string& what) {
    throw ENelqException(what);
}

} // namespace

std::string ViewedDemoStream(const std::vector<TSectionParts>& sections, std::size_t n) {
    const TSectionParts& section = sections[n];
    const bool beginsRecording = n == 0 || sections[n - 1].Demo.empty();
    return beginsRecording || section.Demo.empty()
               ? section.Demo
               : section.Demo.substr(static_cast<std::size_t>(section.BodyOffset));
}

struct TViewerCrowd::TState {
    explicit TState(TCrowdPlan plan);

    asio::awaitable<void> Launch();
    asio::awaitable<void> View(std::shared_ptr<TAsyncConnection> connection, std::size_t viewer);
    asio::awaitable<void> Watch(TAsyncConnection& connection, std::size_t viewer);
    asio::awaitable<void> ReceiveSection(TAsyncConnection& connection, std::size_t n,
                                         std::int32_t count);
    // Reads one message's leading number, then pauses as the plan says.
    asio::awaitable<std::int32_t> ReadPaced(TAsyncConnection& connection);
    void Note(const std::string& fault);

    const TCrowdPlan Plan;
    std::vector<std::vector<std::string>> Expected; // per section: the streams
    asio::io_context Io;
    std::vector<std::thread> Threads;
    std::atomic<int> Requested{0};
    std::atomic<int> Complete{0};
    // A row per viewer, written by that viewer alone.
    std::vector<std::vector<Clock::time_point>> SectionDone;
    std::mutex FaultLock;
    std::string FirstFault; // guarded by FaultLock
};

TViewerCrowd::TState::TState(TCrowdPlan plan)
    : Plan(std::move(plan)),
      SectionDone(static_cast<std::size_t>(Plan.Viewers),
                  std::vector<Clock::time_point>(Plan.Sections.size())) {
    for (std::size_t n = 0; n < Plan.Sections.size(); ++n)
        Expected.push_back({ViewedDemoStream(Plan.Sections, n), Plan.Sections[n].Audio});
}

void TViewerCrowd::TState::Note(const std::string& fault) {
    std::lock_guard guard(FaultLock);
    if (FirstFault.empty())
        FirstFault = fault;
}

// One connection after another: a crowd that connects all at once only
// overflows the server's queue of connections not yet accepted.
asio::awaitable<void> TViewerCrowd::TState::Launch() {
    const asio::ip::tcp::endpoint server(asio::ip::make_address(Plan.Address), Plan.Port);
    for (std::size_t viewer = 0; viewer < static_cast<std::size_t>(Plan.Viewers); ++viewer) {
        asio::ip::tcp::socket socket(asio::make_strand(Io));
        asio::error_code error;
        co_await socket.async_connect(server, asio::redirect_error(asio::use_awaitable, error));
        if (error) {
            Note("viewer " + std::to_string(viewer) + " cannot connect: " + error.message());
            continue;
        }
        auto connection = std::make_shared<TAsyncConnection>(std::move(socket));
        asio::co_spawn(connection->Executor(), View(connection, viewer), asio::detached);
    }
}

asio::awaitable<void> TViewerCrowd::TState::View(std::shared_ptr<TAsyncConnection> connection,
                                                 std::size_t viewer) {
    try {
        co_await Watch(*connection, viewer);
    } catch (const std::exception& error) {
        Note("viewer " + std::to_string(viewer) + ": " + error.what());
    }
    connection->Finish();
}

asio::awaitable<std::int32_t> TViewerCrowd::TState::ReadPaced(TAsyncConnection& connection) {
    const std::int32_t value = co_await connection.ReadInt32();
    if (Plan.Tick.count() > 0) {
        asio::steady_timer pause(co_await asio::this_coro::executor, Plan.Tick);
        co_await pause.async_wait(asio::use_awaitable);
    }
    co_return value;
}

asio::awaitable<void> TViewerCrowd::TState::Watch(TAsyncConnection& connection,
                                                  std::size_t viewer) {
    co_await connection.ReadLine(); // the greeting
    co_await connection.Write(Wire::Line(HelloLine(ScriptedClientVersion, ViewerRole.RoleCode)));
    if (const std::string verdict = co_await connection.ReadLine(); LineField(verdict, 0) != "OK")
        Fault("hello refused: " + verdict);
    co_await connection.ReadLine(); // no login asked for
    co_await connection.Write(Wire::Line(RequestLine(Plan.Game, 0, 0, false)));
    ++Requested;
    for (std::size_t n = 0;; ++n) {
        std::int32_t count = 0;
        do
            count = co_await ReadPaced(connection);
        while (count == 0);
        if (count < 0) {
            if (count != -1 || n != Expected.size())
                Fault("the cast ended with " + std::to_string(count) + " after " +
                      std::to_string(n) + " sections");
            ++Complete;
            co_return;
        }
        if (n >= Expected.size() || static_cast<std::size_t>(count) != Expected[n].size())
            Fault("section " + std::to_string(n) + " came with " + std::to_string(count) +
                  " streams");
        co_await ReceiveSection(connection, n, count);
        SectionDone[viewer][n] = Clock::now();
    }
}

asio::awaitable<void> TViewerCrowd::TState::ReceiveSection(TAsyncConnection& connection,
                                                           std::size_t n, std::int32_t count) {
    const auto& streams = Expected[n];
    std::string offsets;
    for (const auto& stream : streams) {
        co_await connection.ReadInt32(); // type
        co_await connection.ReadInt32(); // tag
        if (co_await connection.ReadInt32() != static_cast<std::int32_t>(stream.size()))
            Fault("section " + std::to_string(n) + " announced with another length");
        Wire::AppendInt32(offsets, 0);
    }
    co_await connection.Write(offsets);
    std::vector<std::size_t> got(streams.size(), 0);
    for (std::int32_t open = count; open > 0;) {
        const std::int32_t index = co_await ReadPaced(connection);
        if (index < 0)
            continue; // a keep-alive
        const std::int32_t kind = co_await connection.ReadInt32();
        if (index >= count)
            Fault("a block for stream " + std::to_string(index));
        const auto stream = static_cast<std::size_t>(index);
        if (kind == 1) {
            if (got[stream] != streams[stream].size())
                Fault("stream " + std::to_string(index) + " of section " + std::to_string(n) +
                      " ended short");
            --open;
            continue;
        }
        std::ostringstream block;
        co_await connection.ReadCounted(block, Wire::MaxChunk);
        const std::string bytes = block.str();
        if (streams[stream].compare(got[stream], bytes.size(), bytes) != 0)
            Fault("section " + std::to_string(n) + " differs at " + std::to_string(got[stream]));
        got[stream] += bytes.size();
    }
}

TViewerCrowd::TViewerCrowd(TCrowdPlan plan) : State(std::make_unique<TState>(std::move(plan))) {
    asio::co_spawn(State->Io, State->Launch(), asio::detached);
    for (int n = 0; n < State->Plan.Threads; ++n)
        State->Threads.emplace_back([this] { State->Io.run(); });
}

TViewerCrowd::~TViewerCrowd() {
    if (State->Threads.empty())
        return;
    State->Io.stop();
    for (auto& thread : State->Threads)
        thread.join();
}

int TViewerCrowd::Requested() const {
    return State->Requested;
}

TCrowdResult TViewerCrowd::Finish() {
    for (auto& thread : State->Threads)
        thread.join();
    State->Threads.clear();
    TCrowdResult result;
    result.Complete = State->Complete;
    result.SectionDone = State->SectionDone;
    std::lock_guard guard(State->FaultLock);
    result.FirstFault = State->FirstFault;
    return result;
}
