#include "HttpListener.h"

#include "CastArchive.h"
#include "CastDownload.h"
#include "CastListing.h"
#include "CastPage.h"
#include "HttpReply.h"
#include "PartResponse.h"
#include "PartTags.h"
#include "SectionIndex.h"
#include "SectionPath.h"
#include "UrlText.h"
#include "WatchHost.h"

#include "net/CastNameCheck.h"

#include <microhttpd.h>

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace {

constexpr std::string_view CastsPrefix = "/casts/";
constexpr std::string_view ArchiveSuffix = ".qmx";

// Escapes are decoded by us, where a decoded NUL or separator is refused
// before the name is used: the library's own decoding would hand a name
// cut at an encoded NUL to the routing.
std::size_t KeepEscapes(void*, MHD_Connection*, char* text) {
    return std::char_traits<char>::length(text);
}

} // namespace

struct THttpListener::TState {
    explicit TState(THttpSite site) : Site(std::move(site)) {}

    static MHD_Result Answer(void* context, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t*, void**);
    static void LogLibrary(void* context, const char* format, va_list arguments);

    bool Authorised(MHD_Connection* connection) const;
    MHD_Result Route(MHD_Connection* connection, std::string_view url);
    MHD_Result AnswerCast(MHD_Connection* connection, std::string_view path);
    MHD_Result AnswerArchive(MHD_Connection* connection, const std::shared_ptr<TCast>& cast);
    MHD_Result AnswerSections(MHD_Connection* connection, const std::shared_ptr<TCast>& cast,
                              const TSectionPath& path);
    std::string LinkHost(MHD_Connection* connection) const;

    THttpSite Site;
    TCastArchiveCache Archives;
    TPartTags PartTags;
    MHD_Daemon* Daemon = nullptr;
};

void THttpListener::TState::LogLibrary(void* context, const char* format, va_list arguments) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string text = line;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    static_cast<TState*>(context)->Site.Log("http: " + text);
}

MHD_Result THttpListener::TState::Answer(void* context, MHD_Connection* connection, const char* url,
                                         const char* method, const char*, const char*, std::size_t*,
                                         void**) {
    auto& state = *static_cast<TState*>(context);
    const std::string_view verb = method;
    if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD) {
        MHD_Response* response =
            TextResponse("Only GET and HEAD are served here.\n", "text/plain; charset=utf-8");
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        return Queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, response);
    }
    if (!state.Authorised(connection)) {
        MHD_Response* response =
            TextResponse("A viewer account is needed here.\n", "text/plain; charset=utf-8");
        if (!response)
            return MHD_NO;
        const MHD_Result queued =
            MHD_queue_basic_auth_fail_response(connection, "NELQ casts", response);
        MHD_destroy_response(response);
        return queued;
    }
    try {
        return state.Route(connection, url);
    } catch (const std::exception& error) {
        state.Site.Log(std::string("http: ") + url + ": " + error.what());
        return QueueText(connection, MHD_HTTP_INTERNAL_SERVER_ERROR, error.what());
    }
}

bool THttpListener::TState::Authorised(MHD_Connection* connection) const {
    if (Site.Viewers.empty())
        return true;
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const auto account = user ? Site.Viewers.find(user) : Site.Viewers.end();
    const bool known = account != Site.Viewers.end() && password && account->second == password;
    MHD_free(user);
    MHD_free(password);
    return known;
}

std::string THttpListener::TState::LinkHost(MHD_Connection* connection) const {
    const char* host =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
    return WatchHost(host ? std::optional<std::string>(host) : std::nullopt, Site.BindAddress,
                     Site.ViewerPort);
}

MHD_Result THttpListener::TState::Route(MHD_Connection* connection, std::string_view url) {
    if (url == "/")
        return Queue(connection, MHD_HTTP_OK,
                     TextResponse(CastPageHtml(ListCasts(Site.Store), LinkHost(connection)),
                                  "text/html; charset=utf-8"));
    if (url == "/casts.json")
        return Queue(connection, MHD_HTTP_OK,
                     TextResponse(CastListJson(ListCasts(Site.Store), LinkHost(connection)),
                                  "application/json"));
    if (url.starts_with(CastsPrefix))
        return AnswerCast(connection, url.substr(CastsPrefix.size()));
    return QueueText(connection, MHD_HTTP_NOT_FOUND, "Nothing here.");
}

// "NAME.qmx", or "NAME/" and a section resource.
MHD_Result THttpListener::TState::AnswerCast(MHD_Connection* connection, std::string_view path) {
    const std::size_t slash = path.find('/');
    const bool archive = slash == std::string_view::npos;
    const auto sectionPath = archive ? std::nullopt : ParseSectionPath(path.substr(slash + 1));
    if (archive ? !path.ends_with(ArchiveSuffix) : !sectionPath)
        return QueueText(connection, MHD_HTTP_NOT_FOUND, "Nothing here.");
    const auto name = PercentDecode(archive ? path.substr(0, path.size() - ArchiveSuffix.size())
                                            : path.substr(0, slash));
    if (!name || !CastNameProblem(*name).empty())
        return QueueText(connection, MHD_HTTP_BAD_REQUEST, "That is not a game name.");
    // Only a name the store holds reaches the files, and only through its cast.
    const auto cast = Site.Store.Find(*name);
    if (!cast)
        return QueueText(connection, MHD_HTTP_NOT_FOUND, "No cast of that name.");
    return archive ? AnswerArchive(connection, cast)
                   : AnswerSections(connection, cast, *sectionPath);
}

MHD_Result THttpListener::TState::AnswerSections(MHD_Connection* connection,
                                                 const std::shared_ptr<TCast>& cast,
                                                 const TSectionPath& path) {
    // A URL of another generation names bytes of a cast that has gone,
    // which a cache may still hold: never answer it with this one's.
    const char* generation = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "g");
    if (generation && cast->Generation != generation)
        return QueueText(connection, MHD_HTTP_NOT_FOUND, "That generation of the cast is gone.");
    const TCastState state = cast->State();
    if (path.Index)
        return Queue(connection, MHD_HTTP_OK,
                     TextResponse(SectionIndexJson(cast->Name, cast->Generation, state),
                                  "application/json", "max-age=1"));
    if (path.Section >= static_cast<std::int32_t>(state.Sections.size()))
        return QueueText(connection, MHD_HTTP_NOT_FOUND, "No such section.");
    const TPartState& part = state.Sections[static_cast<std::size_t>(path.Section)]
                                 .Parts[static_cast<std::size_t>(path.Part)];
    return AnswerPart(connection, cast, path.Section, path.Part, part, PartTags, Site.Log);
}

MHD_Result THttpListener::TState::AnswerArchive(MHD_Connection* connection,
                                                const std::shared_ptr<TCast>& cast) {
    std::shared_ptr<const TCastArchive> archive;
    try {
        archive = Archives.Find(cast);
    } catch (const std::length_error&) {
        return QueueText(connection, MHD_HTTP_INTERNAL_SERVER_ERROR,
                         "The cast is too big for an archive (over 4 GiB).");
    }
    if (!archive)
        return QueueText(connection, MHD_HTTP_CONFLICT,
                         "The cast is still being filmed: its archive is ready once it has ended.");
    return Queue(connection, MHD_HTTP_OK, CastDownloadResponse(cast, archive, Site.Log));
}

THttpListener::THttpListener(int listeningSocket, THttpSite site)
    : State(std::make_unique<TState>(std::move(site))) {
    // A thread per connection: a slow reader holds its own thread alone.
    // poll(), as descriptors of a busy server pass select()'s limit.
    const unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                           MHD_USE_POLL | MHD_USE_ERROR_LOG;
    State->Daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &TState::Answer, State.get(), MHD_OPTION_EXTERNAL_LOGGER,
        &TState::LogLibrary, State.get(), MHD_OPTION_LISTEN_SOCKET, listeningSocket,
        MHD_OPTION_CONNECTION_LIMIT, MaxConnections, MHD_OPTION_CONNECTION_TIMEOUT,
        ConnectionTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, ConnectionMemory,
        MHD_OPTION_UNESCAPE_CALLBACK, &KeepEscapes, nullptr, MHD_OPTION_END);
    if (!State->Daemon) {
        ::close(listeningSocket);
        throw std::runtime_error("cannot start the web listener");
    }
}

THttpListener::~THttpListener() {
    MHD_stop_daemon(State->Daemon);
}
