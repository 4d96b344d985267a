#include "HttpFetch.h"

#include <curl/curl.h>

#include <cctype>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace {

// A peer that sends nothing for this long is taken for gone: an origin that
// hangs must not stall the edge for longer than a viewer would wait.
constexpr long StallSeconds = 5;
constexpr long ConnectMs = 3000;

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

} // namespace

struct THttpFetch::TState {
    CURL* Handle = nullptr;
    std::uint64_t MaxBody = 0;
    const std::atomic<bool>* Cancelled = nullptr;
    THttpAnswer Answer; // of the request under way
    bool TooBig = false;

    static std::size_t Write(char* data, std::size_t, std::size_t count, void* context) {
        auto& state = *static_cast<TState*>(context);
        if (state.Answer.Body.size() + count > state.MaxBody) {
            state.TooBig = true;
            return 0; // makes libcurl give up
        }
        state.Answer.Body.append(data, count);
        return count;
    }

    static int Progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<TState*>(context)->Cancelled->load() ? 1 : 0;
    }

    static std::size_t Header(char* data, std::size_t, std::size_t count, void* context) {
        auto& state = *static_cast<TState*>(context);
        std::string_view line(data, count);
        constexpr std::string_view Name = "content-range:";
        if (StartsWithNoCase(line, Name)) {
            line.remove_prefix(Name.size());
            const std::size_t first = line.find_first_not_of(" \t");
            const std::size_t last = line.find_last_not_of(" \t\r\n");
            state.Answer.ContentRange = first == std::string_view::npos
                                            ? ""
                                            : std::string(line.substr(first, last - first + 1));
        }
        return count;
    }
};

THttpFetch::THttpFetch(std::uint64_t maxBody, const std::atomic<bool>& cancelled)
    : State(std::make_unique<TState>()) {
    InitialiseOnce();
    State->Handle = curl_easy_init();
    if (!State->Handle)
        throw std::runtime_error("cannot start libcurl");
    State->MaxBody = maxBody;
    State->Cancelled = &cancelled;
    CURL* handle = State->Handle;
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, ConnectMs);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, StallSeconds);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TState::Write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, State.get());
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &TState::Header);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, State.get());
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &TState::Progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, State.get());
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

THttpFetch::~THttpFetch() {
    curl_easy_cleanup(State->Handle);
}

THttpAnswer THttpFetch::Get(const std::string& url, std::optional<std::uint64_t> from) {
    State->Answer = {};
    State->TooBig = false;
    CURL* handle = State->Handle;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    const std::string range = from ? std::to_string(*from) + "-" : std::string();
    curl_easy_setopt(handle, CURLOPT_RANGE, from ? range.c_str() : nullptr);
    const CURLcode result = curl_easy_perform(handle);
    THttpAnswer answer = std::move(State->Answer);
    if (result != CURLE_OK) {
        answer.Body.clear(); // what came before a fault is not the answer
        answer.Error = State->TooBig ? "the answer is too big" : curl_easy_strerror(result);
    } else {
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.Status);
    }
    return answer;
}
