#include "CastMirror.h"

#include "net/NelqExceptions.h"

#include <charconv>
#include <fstream>

namespace {

struct TSpan {
    std::uint64_t First = 0;
    std::uint64_t Last = 0;
};

// "bytes FIRST-LAST/SIZE".
std::optional<TSpan> ParseContentRange(std::string_view text) {
    constexpr std::string_view Unit = "bytes ";
    if (!text.starts_with(Unit))
        return std::nullopt;
    text.remove_prefix(Unit.size());
    TSpan span;
    const char* end = text.data() + text.size();
    auto [dash, firstError] = std::from_chars(text.data(), end, span.First);
    if (firstError != std::errc() || dash == end || *dash != '-')
        return std::nullopt;
    auto [slash, lastError] = std::from_chars(dash + 1, end, span.Last);
    if (lastError != std::errc() || slash == end || *slash != '/' || span.Last < span.First)
        return std::nullopt;
    return span;
}

std::string PartName(int part) {
    return part == 0 ? "demo" : "audio";
}

// The stored bytes [first, last) of a part.
std::string StoredBytes(const TCast& cast, std::int32_t section, int part, std::uint64_t first,
                        std::uint64_t last) {
    std::ifstream file(cast.PartPath(section, part), std::ios::binary);
    std::string bytes(last - first, '\0');
    file.seekg(static_cast<std::streamoff>(first));
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw ENelqException("Cannot read the " + PartName(part) + " part of section " +
                             std::to_string(section) + ".");
    return bytes;
}

} // namespace

TCastMirror::TCastMirror(std::shared_ptr<TCast> cast, TFetchPart fetch)
    : Cast(std::move(cast)), Fetch(std::move(fetch)) {}

std::string TCastMirror::Where(std::int32_t section, int part) const {
    return Cast->Name + ": the " + PartName(part) + " part of section " + std::to_string(section);
}

void TCastMirror::CheckNotBehind(const TOriginIndex& index) const {
    if (!Last)
        return;
    if (index.Sections.size() < Last->Sections.size())
        throw EMirrorFault(Cast->Name + ": the origin's index went back from " +
                           std::to_string(Last->Sections.size()) + " sections to " +
                           std::to_string(index.Sections.size()));
    for (std::size_t n = 0; n < Last->Sections.size(); ++n)
        for (int p = 0; p < 2; ++p) {
            const TPartState& before = Last->Sections[n].Parts[static_cast<std::size_t>(p)];
            const TPartState& now = index.Sections[n].Parts[static_cast<std::size_t>(p)];
            const auto where = Where(static_cast<std::int32_t>(n), p);
            if (!now.SameAnnounce(before))
                throw EMirrorFault(where + " was announced again with other sizes");
            if (now.Received < before.Received)
                throw EMirrorFault(where + " went back from " + std::to_string(before.Received) +
                                   " bytes to " + std::to_string(now.Received));
            if (before.Ended && !now.Ended)
                throw EMirrorFault(where + " has ended, and the origin now says it grows");
        }
    if (Last->Finished && !index.Finished)
        throw EMirrorFault(Cast->Name + ": the origin had finished the cast, and now films it");
}

bool TCastMirror::Follow(const TOriginIndex& index) {
    // The viewers hear once of all an index brought, even when a fault
    // stops it halfway.
    struct TPublish {
        TCast& Cast;
        ~TPublish() { Cast.PublishNews(); }
    } publish{*Cast};
    CheckNotBehind(index);
    Last = index;
    TCastState ours = Cast->State();
    if (ours.Completed)
        return false;
    bool progress = false;
    for (std::size_t n = 0; n < index.Sections.size(); ++n) {
        const auto section = static_cast<std::int32_t>(n);
        const TSectionState& theirs = index.Sections[n];
        if (n == ours.Sections.size()) {
            if (n > 0 && !ours.Sections.back().Complete())
                break; // the next section is announced once this one has ended
            Cast->Announce(section, theirs.Parts);
            ours.Sections.push_back(Cast->ViewSection(section).Section);
            progress = true;
        }
        const TSectionState& mine = ours.Sections[n];
        for (int p = 0; p < 2; ++p)
            if (!mine.Parts[static_cast<std::size_t>(p)].SameAnnounce(
                    theirs.Parts[static_cast<std::size_t>(p)]))
                throw EMirrorFault(Where(section, p) + " is announced with other sizes here");
        for (int p = 0; p < 2; ++p)
            progress |= FollowPart(section, p, mine.Parts[static_cast<std::size_t>(p)],
                                   theirs.Parts[static_cast<std::size_t>(p)]);
    }
    const TCastState now = Cast->State();
    if (index.Finished && now.Sections.size() == index.Sections.size() &&
        (now.Sections.empty() || now.Sections.back().Complete())) {
        Cast->MarkCompleted();
        progress = true;
    }
    return progress;
}

bool TCastMirror::FollowPart(std::int32_t section, int part, const TPartState& ours,
                             const TPartState& origin) {
    if (ours.Ended)
        return false;
    if (origin.Ended) {
        if (ours.Received < ours.Size)
            TakeWhole(section, part, ours);
        Cast->EndPart(section, part);
        return true;
    }
    if (origin.Received <= ours.Received)
        return false; // an index from a cache may be older than what we took since
    return TakeGrowth(section, part, ours);
}

void TCastMirror::TakeWhole(std::int32_t section, int part, const TPartState& ours) {
    // Whole, so that a cache keeps one copy, and of the announced size.
    const THttpAnswer answer = Answered(section, part, Fetch(section, part, std::nullopt));
    if (answer.Status != 200)
        throw EMirrorFault(Where(section, part) + ": HTTP status " + std::to_string(answer.Status));
    if (answer.Body.size() != static_cast<std::size_t>(ours.Size))
        throw EMirrorFault(Where(section, part) + " came with " +
                           std::to_string(answer.Body.size()) + " bytes, not the " +
                           std::to_string(ours.Size) + " announced");
    Take(section, part, ours, 0, answer.Body);
}

bool TCastMirror::TakeGrowth(std::int32_t section, int part, const TPartState& ours) {
    const THttpAnswer answer =
        Answered(section, part, Fetch(section, part, static_cast<std::uint64_t>(ours.Received)));
    if (answer.Status == 416)
        return false;        // nothing new after all
    std::uint64_t first = 0; // a whole answer (200) starts at the beginning
    if (answer.Status == 206) {
        const auto span = ParseContentRange(answer.ContentRange.value_or(""));
        if (!span || span->Last - span->First + 1 != answer.Body.size())
            throw EMirrorFault(Where(section, part) +
                               ": a range answer whose bytes are not its range");
        first = span->First;
    } else if (answer.Status != 200) {
        throw EMirrorFault(Where(section, part) + ": HTTP status " + std::to_string(answer.Status));
    }
    return Take(section, part, ours, first, answer.Body);
}

THttpAnswer TCastMirror::Answered(std::int32_t section, int part, THttpAnswer answer) const {
    if (!answer.Ok())
        throw EMirrorFault(Where(section, part) + ": " + answer.Error);
    return answer;
}

bool TCastMirror::Take(std::int32_t section, int part, const TPartState& ours, std::uint64_t first,
                       const std::string& bytes) {
    const auto received = static_cast<std::uint64_t>(ours.Received);
    const std::uint64_t end = first + bytes.size();
    const std::string where = Where(section, part);
    if (first > received)
        throw EMirrorFault(where + ": bytes from " + std::to_string(first) + " on, and we hold " +
                           std::to_string(received));
    if (end <= received)
        return false;
    if (end > static_cast<std::uint64_t>(ours.Size))
        throw EMirrorFault(where + ": " + std::to_string(end) + " bytes, more than the " +
                           std::to_string(ours.Size) + " announced");
    const std::uint64_t shared = received - first;
    if (shared > 0 && StoredBytes(*Cast, section, part, first, received) != bytes.substr(0, shared))
        throw EMirrorFault(where + ": the origin now serves other bytes than before");
    {
        std::ofstream file = Cast->OpenPart(section, part);
        file.write(bytes.data() + shared, static_cast<std::streamsize>(end - received));
        if (!file.flush()) {
            file.close();
            std::error_code ignored; // what did get written is not counted: cut it off
            std::filesystem::resize_file(Cast->PartPath(section, part), received, ignored);
            throw ENelqException("Cannot write " + Cast->PartPath(section, part).string() + ".");
        }
    }
    Cast->Received(section, part, static_cast<std::int32_t>(end - received));
    return true;
}
