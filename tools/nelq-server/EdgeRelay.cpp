#include "EdgeRelay.h"

#include "CastMirror.h"
#include "HttpFetch.h"
#include "OriginIndex.h"
#include "RetryBackoff.h"
#include "UrlText.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The index of a live cast is kept a second by caches: asking more often
// than this would mostly get the same copy.
constexpr auto PollInterval = std::chrono::milliseconds(250);

// One cast being brought up to its origin's.
struct TFollowed {
    std::shared_ptr<TCast> Cast;
    TCastMirror Mirror;
    TRetryBackoff Backoff;
    Clock::time_point NotBefore{};
};

std::string Milliseconds(std::chrono::milliseconds wait) {
    return std::to_string(wait.count()) + " ms";
}

} // namespace

struct TEdgeRelay::TState {
    TState(std::string origin, TCastStore& store, TServerLog log)
        : Origin(std::move(origin)), Store(store), Log(std::move(log)),
          Fetch(TCast::MaxPartSize, Stopping) {}

    void Run();
    bool Round(); // true when a cast took something new
    void DeleteHere(const std::string& name, const std::string& why);
    // Ours of the listed cast: made when new, made anew when filmed anew
    // there; none when it cannot be made.
    std::shared_ptr<TCast> CastHere(const TOriginCast& listed);
    TFollowed& Following(const TOriginCast& listed, const std::shared_ptr<TCast>& cast);
    bool FollowCast(const TOriginCast& listed);
    TOriginIndex FetchIndex(const TOriginCast& listed);
    std::string CastUrl(const TOriginCast& listed, const std::string& resource) const;

    const std::string Origin;
    TCastStore& Store;
    const TServerLog Log;
    std::atomic<bool> Stopping{false};
    THttpFetch Fetch;                          // the relay thread's alone
    std::map<std::string, TFollowed> Followed; // the relay thread's alone
    std::set<std::string> Unmade;              // casts we could not make; the relay thread's alone

    std::mutex Lock;
    std::condition_variable Wake; // Stopping was set
    std::thread Thread;
};

void TEdgeRelay::TState::Run() {
    TRetryBackoff backoff;
    while (!Stopping) {
        auto wait = std::chrono::milliseconds(PollInterval);
        try {
            if (Round())
                wait = std::chrono::milliseconds(0); // there may be more
            if (backoff.Failing())
                Log("relay: the origin answers again");
            backoff.Succeeded();
        } catch (const std::exception& error) {
            wait = backoff.Failed();
            Log(std::string("relay: ") + error.what() + "; serving what is here, trying again in " +
                Milliseconds(wait));
        }
        std::unique_lock guard(Lock);
        Wake.wait_for(guard, wait, [this] { return Stopping.load(); });
    }
}

bool TEdgeRelay::TState::Round() {
    const std::string url = Origin + "casts.json";
    const THttpAnswer answer = Fetch.Get(url);
    if (!answer.Ok() || answer.Status != 200)
        throw std::runtime_error(
            url + ": " +
            (answer.Ok() ? "HTTP status " + std::to_string(answer.Status) : answer.Error));
    std::vector<TOriginCast> listed;
    try {
        listed = ParseOriginCasts(answer.Body);
    } catch (const std::exception& error) {
        throw std::runtime_error(url + " is no list of casts: " + error.what());
    }
    std::set<std::string> names;
    for (const auto& cast : listed)
        names.insert(cast.Name);
    for (const auto& name : Store.Names())
        if (!names.contains(name))
            DeleteHere(name, "the origin no longer lists it");
    bool progress = false;
    for (const auto& cast : listed)
        progress |= FollowCast(cast);
    return progress;
}

void TEdgeRelay::TState::DeleteHere(const std::string& name, const std::string& why) {
    Followed.erase(name);
    if (Store.Delete(name))
        Log("relay: deleted " + name + ": " + why);
}

std::shared_ptr<TCast> TEdgeRelay::TState::CastHere(const TOriginCast& listed) {
    auto cast = Store.Find(listed.Name);
    if (cast && cast->Generation != listed.Generation) {
        DeleteHere(listed.Name, "the origin films it anew");
        cast = nullptr;
    }
    if (cast)
        return cast;
    std::string problem = "something else holds its directory";
    try {
        cast = Store.Open(listed.Name, listed.Generation);
    } catch (const std::exception& error) {
        problem = error.what();
    }
    if (!cast) {
        // Told once; the other casts go on meanwhile.
        if (Unmade.insert(listed.Name).second)
            Log("relay: cannot make " + listed.Name + " here: " + problem);
        return nullptr;
    }
    Unmade.erase(listed.Name);
    Log("relay: following " + listed.Name);
    return cast;
}

TFollowed& TEdgeRelay::TState::Following(const TOriginCast& listed,
                                         const std::shared_ptr<TCast>& cast) {
    const auto found = Followed.find(listed.Name);
    if (found != Followed.end() && found->second.Cast == cast)
        return found->second;
    // New, or deleted by the operator and made again since.
    auto fetch = [this, listed](std::int32_t section, int part, std::optional<std::uint64_t> from) {
        return Fetch.Get(
            CastUrl(listed, std::to_string(section) + (part == 0 ? "/demo" : "/audio")), from);
    };
    Followed.erase(listed.Name);
    return Followed.try_emplace(listed.Name, TFollowed{cast, TCastMirror(cast, fetch), {}, {}})
        .first->second;
}

bool TEdgeRelay::TState::FollowCast(const TOriginCast& listed) {
    const auto cast = CastHere(listed);
    if (!cast)
        return false;
    if (cast->State().Completed) {
        Followed.erase(listed.Name); // whole here for good
        return false;
    }
    TFollowed& followed = Following(listed, cast);
    if (Clock::now() < followed.NotBefore)
        return false;
    try {
        const bool progress = followed.Mirror.Follow(FetchIndex(listed));
        if (followed.Backoff.Failing())
            Log("relay: " + listed.Name + " follows the origin again");
        followed.Backoff.Succeeded();
        return progress;
    } catch (const std::exception& error) {
        if (cast->IsDeleted())
            return false; // by the operator: made again from the origin next round
        const auto wait = followed.Backoff.Failed();
        followed.NotBefore = Clock::now() + wait;
        Log(std::string("relay: ") + error.what() + "; " + listed.Name +
            " keeps what it has, trying again in " + Milliseconds(wait));
        return false;
    }
}

TOriginIndex TEdgeRelay::TState::FetchIndex(const TOriginCast& listed) {
    const std::string url = CastUrl(listed, "index.json");
    const THttpAnswer answer = Fetch.Get(url);
    if (!answer.Ok() || answer.Status != 200)
        throw EMirrorFault(
            url + ": " +
            (answer.Ok() ? "HTTP status " + std::to_string(answer.Status) : answer.Error));
    TOriginIndex index;
    try {
        index = ParseOriginIndex(answer.Body);
    } catch (const std::exception& error) {
        throw EMirrorFault(url + " is no index of sections: " + error.what());
    }
    if (index.Generation != listed.Generation)
        throw EMirrorFault(url + " is the index of another generation");
    return index;
}

std::string TEdgeRelay::TState::CastUrl(const TOriginCast& listed,
                                        const std::string& resource) const {
    return Origin + "casts/" + PercentEncode(listed.Name) + "/" + resource +
           "?g=" + listed.Generation;
}

TEdgeRelay::TEdgeRelay(std::string origin, TCastStore& store, TServerLog log)
    : State(std::make_unique<TState>(std::move(origin), store, std::move(log))) {
    State->Thread = std::thread([this] { State->Run(); });
}

TEdgeRelay::~TEdgeRelay() {
    {
        std::lock_guard guard(State->Lock);
        State->Stopping = true;
    }
    State->Wake.notify_all();
    State->Thread.join();
}
