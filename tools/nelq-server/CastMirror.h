#pragma once

#include "Cast.h"
#include "HttpFetch.h"
#include "OriginIndex.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

// Something the origin said that we do not take: the cast keeps what it
// has, and the relay tries again later.
struct EMirrorFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Brings one cast of ours up to its origin's index, through the store's
// filmer side (Announce, OpenPart, Received, EndPart, MarkCompleted), so
// that its viewers see it grow as a filmed cast grows. Only bytes the
// origin served for their place in a part are taken: an ended part whole
// and of its announced size, a growing one from where ours ends.
class TCastMirror {
public:
    // Fetches a part's bytes: section, part (0 demo, 1 audio), and where to
    // start (none: the whole part, which a cache may keep).
    using TFetchPart = std::function<THttpAnswer(std::int32_t, int, std::optional<std::uint64_t>)>;

    TCastMirror(std::shared_ptr<TCast> cast, TFetchPart fetch);

    // True when the cast took something new. Throws EMirrorFault when the
    // origin goes back on what it said or serves what it did not announce,
    // and ENelqException when the cast went meanwhile.
    bool Follow(const TOriginIndex& index);

private:
    // An index behind the last one seen (a cache may hand out an older
    // copy) is no news; one that takes back what a part was is a fault.
    void CheckNotBehind(const TOriginIndex& index) const;
    bool FollowPart(std::int32_t section, int part, const TPartState& ours,
                    const TPartState& origin);
    void TakeWhole(std::int32_t section, int part, const TPartState& ours);
    bool TakeGrowth(std::int32_t section, int part, const TPartState& ours);
    // The answer, or EMirrorFault when none came whole.
    THttpAnswer Answered(std::int32_t section, int part, THttpAnswer answer) const;
    // Appends what `bytes` (the part's bytes from `first` on) hold past ours;
    // the bytes they share with ours must be ours.
    bool Take(std::int32_t section, int part, const TPartState& ours, std::uint64_t first,
              const std::string& bytes);
    std::string Where(std::int32_t section, int part) const;

    const std::shared_ptr<TCast> Cast;
    const TFetchPart Fetch;
    std::optional<TOriginIndex> Last; // the newest index taken
};
