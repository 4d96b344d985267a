#include "CastListing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>

namespace {

// The cast's directory is made when its filmer first logs in and never again.
std::optional<std::time_t> BirthTime(const std::filesystem::path& directory) {
    struct statx status {};
    if (::statx(AT_FDCWD, directory.c_str(), 0, STATX_BTIME, &status) != 0 ||
        !(status.stx_mask & STATX_BTIME))
        return std::nullopt;
    return static_cast<std::time_t>(status.stx_btime.tv_sec);
}

std::optional<std::int64_t> AudioLength(TCast& cast, const std::vector<TSectionState>& sections) {
    std::int64_t total = 0;
    for (std::size_t n = 0; n < sections.size(); ++n) {
        if (!sections[n].Parts[1].Ended)
            continue; // still on its way: counted once it has ended
        const auto section = static_cast<std::int32_t>(n);
        const auto length = cast.AudioLengths.Length(section, cast.PartPath(section, 1));
        if (!length)
            return std::nullopt;
        total += *length;
    }
    return total;
}

} // namespace

std::vector<TCastSummary> ListCasts(const TCastStore& store) {
    std::vector<TCastSummary> casts;
    for (const std::string& name : store.Names()) {
        const auto cast = store.Find(name);
        if (!cast)
            continue; // deleted meanwhile
        const TCastState state = cast->State();
        TCastSummary summary;
        summary.Name = name;
        summary.Live = !state.Completed;
        summary.Sections = static_cast<int>(state.Sections.size());
        summary.LengthMs = AudioLength(*cast, state.Sections);
        summary.Started = BirthTime(cast->Directory);
        summary.Viewers = cast->Viewers();
        summary.Generation = cast->Generation;
        casts.push_back(std::move(summary));
    }
    std::stable_sort(casts.begin(), casts.end(), [](const auto& a, const auto& b) {
        return std::make_tuple(!a.Live, -a.Started.value_or(0)) <
               std::make_tuple(!b.Live, -b.Started.value_or(0));
    });
    return casts;
}
