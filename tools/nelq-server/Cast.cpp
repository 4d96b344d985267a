#include "Cast.h"

#include "net/NelqExceptions.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

void CreateEmpty(const fs::path& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        throw ENelqException("Cannot create " + path.string() + ".");
}

std::int32_t FileSize(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0
                 : static_cast<std::int32_t>(std::min<std::uintmax_t>(size, TCast::MaxPartSize));
}

void CheckAnnounce(const std::array<TPartState, 2>& parts) {
    for (int p = 0; p < 2; ++p) {
        if (parts[p].Kind != p)
            throw ENelqProtocolError("Part " + std::to_string(p) + " announced with kind " +
                                     std::to_string(parts[p].Kind) + ".");
        if (parts[p].Size < 0 || parts[p].Size > TCast::MaxPartSize)
            throw ENelqProtocolError("Part size " + std::to_string(parts[p].Size) +
                                     " out of range.");
    }
    const TPartState& demo = parts[0];
    const bool bodyOffsetFits =
        demo.Size == 0 ? demo.BodyOffset == 0
                       : demo.BodyOffset >= TCast::DemoHeadSize && demo.BodyOffset <= demo.Size;
    if (!bodyOffsetFits || parts[1].BodyOffset != 0)
        throw ENelqProtocolError("Body offset " + std::to_string(demo.BodyOffset) +
                                 " does not fit the demo part.");
}

} // namespace

TCast::TCast(std::string name, fs::path directory, std::string generation)
    : Name(std::move(name)), Directory(std::move(directory)), Generation(std::move(generation)) {}

fs::path TCast::PartPath(std::int32_t section, int part) const {
    return Directory / ("section_" + std::to_string(section) + ".part" + std::to_string(part));
}

fs::path TCast::MetaPath(std::int32_t section) const {
    return Directory / ("section_" + std::to_string(section) + ".meta");
}

void TCast::Load() {
    std::lock_guard guard(Lock);
    FSections.clear();
    for (std::int32_t n = 0; n <= LastSection; ++n) {
        std::ifstream meta(MetaPath(n));
        if (!meta)
            break;
        TSectionState section;
        bool trusted = true;
        for (auto& part : section.Parts) {
            int ended = 0;
            meta >> part.Kind >> part.Size >> part.BodyOffset >> ended;
            part.Ended = ended == 1;
        }
        try {
            CheckAnnounce(section.Parts);
        } catch (const ENelqProtocolError&) {
            trusted = false;
        }
        if (!meta || !trusted)
            break;
        for (int p = 0; p < 2; ++p) {
            TPartState& part = section.Parts[p];
            part.Received = std::min(FileSize(PartPath(n, p)), part.Size);
            std::error_code error;
            fs::resize_file(PartPath(n, p), static_cast<std::uintmax_t>(part.Received), error);
            if (error)
                CreateEmpty(PartPath(n, p));
            part.Ended = part.Ended && part.Received == part.Size;
        }
        // Only the newest section may be unfinished.
        if (!FSections.empty() && !FSections.back().Complete())
            break;
        FSections.push_back(section);
    }
    Completed =
        fs::exists(Directory / "completed") && (FSections.empty() || FSections.back().Complete());
}

void TCast::SaveMeta(std::int32_t section) const {
    const fs::path target = MetaPath(section);
    const fs::path temporary = target.string() + ".new";
    {
        std::ofstream meta(temporary, std::ios::trunc);
        for (const auto& part : FSections[static_cast<std::size_t>(section)].Parts)
            meta << part.Kind << ' ' << part.Size << ' ' << part.BodyOffset << ' '
                 << (part.Ended ? 1 : 0) << '\n';
        if (!meta.flush())
            throw ENelqException("Cannot write " + temporary.string() + ".");
    }
    fs::rename(temporary, target); // a crash leaves the old or the new announce, never half
}

void TCast::Changed(std::unique_lock<std::mutex>& guard) {
    ++Version;
    Wake(guard);
}

void TCast::HoldNews() {
    ++Version;
    NewsHeld = true;
}

void TCast::PublishNews() {
    std::unique_lock guard(Lock);
    if (NewsHeld)
        Wake(guard);
}

void TCast::Wake(std::unique_lock<std::mutex>& guard) {
    NewsHeld = false;
    const auto woken = std::move(Listeners);
    Listeners.clear();
    for (const auto& listener : woken)
        listener->Slot = TCastListener::NotListed;
    guard.unlock();
    for (const auto& listener : woken)
        listener->Wake();
}

void TCast::CheckNotDeleted() const {
    if (Deleted)
        throw ENelqConnectionError("The game " + Name + " was deleted.");
}

TSectionState& TCast::Announced(std::int32_t section) {
    CheckNotDeleted();
    if (section < 0 || section >= static_cast<std::int32_t>(FSections.size()))
        throw ENelqProtocolError("Section " + std::to_string(section) + " was not announced.");
    return FSections[static_cast<std::size_t>(section)];
}

std::array<std::int32_t, 2> TCast::Announce(std::int32_t section,
                                            const std::array<TPartState, 2>& announced) {
    CheckAnnounce(announced);
    std::unique_lock guard(Lock);
    CheckNotDeleted();
    const auto count = static_cast<std::int32_t>(FSections.size());
    if (section < 0 || section > LastSection)
        throw ENelqProtocolError("Section " + std::to_string(section) + " is out of range.");
    if (section < count) {
        // Announced again after a reconnection: the filmer keeps a section
        // until it has seen that we hold all of it, so this may be the newest
        // section or one before it, and the cast may have been completed since.
        TSectionState& known = FSections[static_cast<std::size_t>(section)];
        for (int p = 0; p < 2; ++p) {
            if (!known.Parts[p].SameAnnounce(announced[p]))
                throw ENelqProtocolError("Section " + std::to_string(section) +
                                         " announced again with other sizes.");
            if (!known.Complete()) // resume where the files end
                known.Parts[p].Received =
                    std::min(FileSize(PartPath(section, p)), known.Parts[p].Size);
        }
        return {known.Parts[0].Received, known.Parts[1].Received};
    }
    if (Completed)
        throw ENelqProtocolError("The cast has been completed.");
    if (section != count)
        throw ENelqProtocolError("Section " + std::to_string(section) + " out of order (expected " +
                                 std::to_string(count) + ").");
    if (count > 0 && !FSections.back().Complete())
        throw ENelqProtocolError("Section " + std::to_string(section) +
                                 " announced before the previous one ended.");
    TSectionState fresh;
    for (int p = 0; p < 2; ++p) {
        fresh.Parts[p] = announced[p];
        fresh.Parts[p].Received = 0;
        fresh.Parts[p].Ended = false;
        CreateEmpty(PartPath(section, p));
    }
    FSections.push_back(fresh);
    SaveMeta(section);
    Changed(guard);
    return {0, 0};
}

std::ofstream TCast::OpenPart(std::int32_t section, int part) const {
    std::lock_guard guard(Lock);
    CheckNotDeleted();
    std::ofstream file(PartPath(section, part), std::ios::binary | std::ios::app);
    if (!file)
        throw ENelqException("Cannot open the part file of section " + std::to_string(section) +
                             ".");
    return file;
}

std::int32_t TCast::Remaining(std::int32_t section, int part) {
    std::lock_guard guard(Lock);
    const TPartState& state = Announced(section).Parts[static_cast<std::size_t>(part)];
    return state.Ended ? 0 : state.Size - state.Received;
}

void TCast::Received(std::int32_t section, int part, std::int32_t bytes) {
    std::lock_guard guard(Lock);
    Announced(section).Parts[static_cast<std::size_t>(part)].Received += bytes;
    HoldNews();
}

void TCast::EndPart(std::int32_t section, int part) {
    std::lock_guard guard(Lock);
    TPartState& state = Announced(section).Parts[static_cast<std::size_t>(part)];
    if (state.Ended)
        return; // repeated after a resume: nothing new
    if (state.Received != state.Size)
        throw ENelqProtocolError("Part " + std::to_string(part) + " ended after " +
                                 std::to_string(state.Received) + " of " +
                                 std::to_string(state.Size) + " bytes.");
    state.Ended = true;
    SaveMeta(section);
    HoldNews();
}

void TCast::MarkCompleted() {
    std::unique_lock guard(Lock);
    CheckNotDeleted();
    if (!FSections.empty() && !FSections.back().Complete())
        throw ENelqProtocolError("Cast completed in the middle of a section.");
    CreateEmpty(Directory / "completed");
    Completed = true;
    Changed(guard);
}

TCast::TAttach TCast::AttachFilmer(const void* filmer, std::function<void()> shut) {
    std::lock_guard guard(Lock);
    if (Deleted)
        return {false, true, Version};
    if (Filmer) {
        ShutFilmer(); // its session ends and detaches, which is news
        return {false, false, Version};
    }
    Filmer = filmer;
    ShutFilmer = std::move(shut);
    return {true, false, Version};
}

void TCast::DetachFilmer(const void* filmer) {
    std::unique_lock guard(Lock);
    if (Filmer == filmer) {
        Filmer = nullptr;
        ShutFilmer = nullptr;
        Changed(guard);
    }
}

void TCast::MarkDeleted() {
    std::unique_lock guard(Lock);
    Deleted = true;
    if (Filmer)
        ShutFilmer();
    Changed(guard);
}

void TCast::WakeAll() {
    std::unique_lock guard(Lock);
    Changed(guard);
}

TSectionView TCast::ViewSection(std::int32_t section) const {
    std::lock_guard guard(Lock);
    TSectionView view;
    const auto count = static_cast<std::int32_t>(FSections.size());
    view.Exists = section >= 0 && section < count;
    if (view.Exists)
        view.Section = FSections[static_cast<std::size_t>(section)];
    view.PreviousDemoSize = section > 0 && section <= count
                                ? FSections[static_cast<std::size_t>(section - 1)].Parts[0].Size
                                : -1;
    view.Completed = Completed;
    view.Deleted = Deleted;
    view.Version = Version;
    return view;
}

std::vector<TSectionState> TCast::Sections() const {
    std::lock_guard guard(Lock);
    return FSections;
}

bool TCast::HoldsSections() const {
    std::lock_guard guard(Lock);
    return !FSections.empty() || Completed;
}

TCastState TCast::State() const {
    std::lock_guard guard(Lock);
    return {FSections, Completed};
}

bool TCast::IsDeleted() const {
    std::lock_guard guard(Lock);
    return Deleted;
}

void TCast::Listen(std::uint64_t version, const std::shared_ptr<TCastListener>& listener) const {
    {
        std::lock_guard guard(Lock);
        if (Version == version) {
            listener->Slot = Listeners.size();
            Listeners.push_back(listener);
            return;
        }
    }
    listener->Wake();
}

void TCast::Unlisten(TCastListener& listener) const {
    std::lock_guard guard(Lock);
    const std::size_t slot = listener.Slot;
    if (slot == TCastListener::NotListed)
        return;
    // The last one takes its place.
    if (slot + 1 != Listeners.size()) {
        Listeners.back()->Slot = slot;
        Listeners[slot] = std::move(Listeners.back());
    }
    Listeners.pop_back();
    listener.Slot = TCastListener::NotListed;
}

std::shared_ptr<const TPartMap> TCast::PartForSending(std::int32_t section, int part) const {
    std::int32_t size = 0;
    {
        std::lock_guard guard(Lock);
        if (section < 0 || section >= static_cast<std::int32_t>(FSections.size()))
            return nullptr;
        size = FSections[static_cast<std::size_t>(section)].Parts[static_cast<std::size_t>(part)].Size;
    }
    std::lock_guard guard(PartsLock);
    auto& entry = SendingParts[{section, part}];
    auto map = entry.lock();
    if (!map) {
        auto opened = std::make_shared<const TPartMap>(PartPath(section, part), size);
        if (!opened->IsOpen())
            return nullptr;
        entry = map = std::move(opened);
    }
    return map;
}
