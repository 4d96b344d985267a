#include "PartResponse.h"

#include "ByteRange.h"
#include "CastDownload.h"
#include "HttpReply.h"

#include <string>
#include <string_view>

namespace {

constexpr const char* Immutable = "public, max-age=31536000, immutable";
constexpr const char* Growing = "no-store";

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// If-None-Match compares weakly (RFC 9110 13.1.2): "W/" does not matter.
bool TagListed(std::string_view list, std::string_view tag) {
    if (Trimmed(list) == "*")
        return true;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = Trimmed(list.substr(0, comma));
        if (item.starts_with("W/"))
            item.remove_prefix(2);
        if (item == tag)
            return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

std::optional<std::string_view> Header(MHD_Connection* connection, const char* name) {
    const char* value = RequestHeader(connection, name);
    return value ? std::optional<std::string_view>(value) : std::nullopt;
}

void AddPartHeaders(MHD_Response* response, bool ended, const std::string& tag) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, ended ? Immutable : Growing);
    MHD_add_response_header(response, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    if (ended)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, tag.c_str());
}

// Bytes First..Last of the part file, as one piece to stream.
std::shared_ptr<const TCastArchive> PartLayout(const TCast& cast, std::int32_t section, int part,
                                               std::uint64_t first, std::uint64_t length) {
    auto layout = std::make_shared<TCastArchive>();
    if (length > 0)
        layout->Pieces.push_back({0, length, {}, cast.PartPath(section, part), first});
    layout->Size = length;
    return layout;
}

} // namespace

MHD_Result AnswerPart(MHD_Connection* connection, const std::shared_ptr<TCast>& cast,
                      std::int32_t section, int part, const TPartState& state, TPartTags& tags,
                      const TServerLog& log) {
    const bool ended = state.Ended;
    // What has been written and counted: the filmer may be appending past it.
    const auto size = static_cast<std::uint64_t>(ended ? state.Size : state.Received);
    const std::string tag = ended ? tags.Tag(cast, section, part, size) : std::string();
    const auto unchanged = Header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
    if (ended && unchanged && TagListed(*unchanged, tag)) {
        MHD_Response* response =
            MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        if (response)
            AddPartHeaders(response, ended, tag);
        return Queue(connection, MHD_HTTP_NOT_MODIFIED, response);
    }
    // A range of other bytes than these is no range of ours (RFC 9110 13.1.5):
    // a growing part has no tag, so it is sent whole.
    const auto ifRange = Header(connection, MHD_HTTP_HEADER_IF_RANGE);
    const bool rangeApplies = !ifRange || (ended && *ifRange == tag);
    const TByteRange range = ParseByteRange(
        rangeApplies ? Header(connection, MHD_HTTP_HEADER_RANGE) : std::nullopt, size);
    const std::string total = std::to_string(size);
    if (range.Kind == TByteRange::TKind::Unsatisfiable) {
        MHD_Response* response = TextResponse("No such bytes: the part holds " + total + ".\n",
                                              "text/plain; charset=utf-8");
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE,
                                    ("bytes */" + total).c_str());
        return Queue(connection, MHD_HTTP_RANGE_NOT_SATISFIABLE, response);
    }
    const bool partial = range.Kind == TByteRange::TKind::Part;
    const std::uint64_t first = partial ? range.First : 0;
    const std::uint64_t length = partial ? range.Last - range.First + 1 : size;
    MHD_Response* response =
        StreamedCastResponse(cast, PartLayout(*cast, section, part, first, length), log);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/octet-stream");
    AddPartHeaders(response, ended, tag);
    if (partial)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE,
                                ("bytes " + std::to_string(range.First) + "-" +
                                 std::to_string(range.Last) + "/" + total)
                                    .c_str());
    return Queue(connection, partial ? MHD_HTTP_PARTIAL_CONTENT : MHD_HTTP_OK, response);
}
