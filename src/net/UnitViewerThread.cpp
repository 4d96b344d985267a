#include "net/UnitViewerThread.h"

#include "net/CastNameCheck.h"
#include "net/LineFields.h"
#include "net/NelqExceptions.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t EndOfCastHeader = -1;
constexpr std::int32_t CastDeletedHeader = -2;
constexpr std::uint8_t DemoStream = 0;
constexpr std::uint8_t AudioStream = 1;
constexpr std::uint8_t DataKind = 0;
constexpr std::uint8_t EndKind = 1;

std::string SectionFileName(std::uint8_t type, std::int32_t section) {
    char name[32];
    std::snprintf(name, sizeof(name), type == DemoStream ? "demo_%d.rec" : "audio_%d.ogg",
                  static_cast<int>(section));
    return name;
}

} // namespace

TViewerThread::TViewerThread(SyncContext& sync, std::string clientVersion,
                             std::string recordingsDirectory, std::string streamsDirectory,
                             std::string host, std::uint16_t port)
    : TViewerConnectionThread(sync, std::move(clientVersion), std::move(host), port),
      RecordingsDirectory(std::move(recordingsDirectory)),
      StreamsDirectory(std::move(streamsDirectory)) {}

void TViewerThread::SetTimings(std::chrono::milliseconds loopInterval,
                               std::chrono::milliseconds reconnectPause) {
    LoopInterval = loopInterval;
    ReconnectPause = reconnectPause;
}

std::int32_t TViewerThread::GetStartSection() const {
    std::lock_guard guard(StartSectionLock);
    return FStartSection;
}

void TViewerThread::SetStartSection(std::int32_t section) {
    std::lock_guard guard(StartSectionLock);
    FStartSection = section;
}

bool TViewerThread::GetAudioOnly() const {
    std::lock_guard guard(AudioOnlyLock);
    return FAudioOnly;
}

void TViewerThread::SetAudioOnly(bool audioOnly) {
    std::lock_guard guard(AudioOnlyLock);
    FAudioOnly = audioOnly;
}

std::string TViewerThread::GetGameName() const {
    std::lock_guard guard(GameNameLock);
    return FGameName;
}

void TViewerThread::SetGameName(const std::string& name) {
    std::lock_guard guard(GameNameLock);
    FGameName = name;
}

std::chrono::milliseconds TViewerThread::PauseBeforeAttempt(bool firstAttempt) const {
    return firstAttempt ? std::chrono::milliseconds(0) : ReconnectPause;
}

void TViewerThread::BeginAttempt(bool firstAttempt) {
    StreamCount = 0;
    OpenStreams = 0;
    CloseSlotFiles();
    // Later attempts keep the flags: they mark the files of a half-received
    // section, which the resume appends to instead of truncating.
    if (firstAttempt)
        for (auto& slot : Slots)
            slot.Opened = false;
    TViewerConnectionThread::BeginAttempt(firstAttempt);
}

void TViewerThread::TransferResuming() {
    Synchronize([this] {
        if (OnProgress)
            OnProgress(-1, CurrentSection, DemoStream, 0, 0);
    });
}

void TViewerThread::EndAttempt() {
    CloseSlotFiles();
}

void TViewerThread::CloseSlotFiles() {
    for (auto& slot : Slots)
        if (slot.File.is_open())
            slot.File.close();
}

TAttemptEnd TViewerThread::CommandLoop() {
    while (SleepFor(LoopInterval))
        if (RunState(GetViewerState()) == TStep::EndThread)
            return TAttemptEnd::EndThread;
    return TAttemptEnd::Reconnect;
}

TViewerThread::TStep TViewerThread::RunState(std::uint8_t state) {
    switch (state) {
    case vsListGames:
        ListGames();
        break;
    case vsListSections:
        ListSections();
        break;
    case vsRequest:
        return Request();
    case vsSectionHeader:
        return ReadSectionHeader();
    case vsBlocks:
        ReadBlockMessage();
        break;
    case vsLogin:
        if (!SendCredentials())
            return TStep::EndThread;
        break;
    default:
        break; // idle, waiting for the user's login, or a value out of range
    }
    return TStep::Continue;
}

void TViewerThread::ListGames() {
    Connection.WriteLine("LISTGAMES");
    Games = Connection.ReadLines(MaxGames);
    SetViewerState(vsIdle);
    Synchronize([this] {
        if (OnGameList)
            OnGameList(Games);
    });
}

void TViewerThread::ListSections() {
    if (CastNameRefused())
        return;
    Connection.WriteLine(JoinFields({"LISTSECTIONS", GetGameName()}));
    Sections = Connection.ReadLines(LastSection + 1);
    CurrentSection = -1;
    SetViewerState(vsIdle);
    Synchronize([this] {
        if (OnSectionList)
            OnSectionList(Sections);
    });
}

std::string TViewerThread::CastDirectory() const {
    return StreamsDirectory + GetGameName();
}

bool TViewerThread::CastNameRefused() {
    const std::string problem = CastNameProblem(GetGameName());
    if (problem.empty())
        return false;
    // Asking again cannot help: wait for the user to go back.
    SetViewerState(vsIdle);
    Status("Game refused. " + problem);
    return true;
}

TViewerThread::TStep TViewerThread::Request() {
    if (CastNameRefused())
        return TStep::Continue;
    const std::int32_t start = GetStartSection();
    if (start < 0 || start > LastSection)
        return EndOfCast("Section " + std::to_string(start) + " is outside the sections 0 to " +
                         std::to_string(LastSection) + " a cast can hold.");
    fs::create_directories(CastDirectory());
    if (CurrentSection == -1)
        CurrentSection = start;
    Connection.WriteLine(
        JoinFields({"REQUEST", GetGameName(), std::to_string(start), std::to_string(CurrentSection),
                    GetAudioOnly() ? "TRUE" : "FALSE"}));
    SetViewerState(vsSectionHeader);
    return TStep::Continue;
}

TViewerThread::TStep TViewerThread::EndOfCast(const std::string& message) {
    Status(message);
    Synchronize([this] {
        if (OnStreamsEnded)
            OnStreamsEnded();
    });
    return TStep::EndThread;
}

TViewerThread::TStep TViewerThread::ReadSectionHeader() {
    const std::int32_t count = Connection.ReadInt32();
    if (count == EndOfCastHeader) {
        SetEnding(TThreadEnding::Finished);
        return EndOfCast("Streams completed");
    }
    if (count == CastDeletedHeader) {
        SetEnding(TThreadEnding::Deleted);
        return EndOfCast("Stream has been deleted by the admin");
    }
    if (count < 1)
        return TStep::Continue; // nothing to receive yet
    if (count > MaxStreams)
        throw ENelqMaxStreamsException();
    // Sections past the last table entry are refused rather than written
    // where nothing can keep track of them; what came before still plays.
    if (CurrentSection > LastSection)
        return EndOfCast("Section " + std::to_string(CurrentSection) +
                         " is beyond the last section a cast can hold (" +
                         std::to_string(LastSection) + ").");

    StreamCount = count;
    OpenStreams = count;
    unsigned typesSeen = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        TStreamSlot& slot = Slots[static_cast<std::size_t>(i)];
        ReadStreamHeader(slot);
        // Two slots of one type would write into the same file.
        if (typesSeen & (1u << slot.Type))
            throw ENelqProtocolError("Connection announced two streams of the same type.");
        typesSeen |= 1u << slot.Type;
    }

    for (std::int32_t i = 0; i < count; ++i) {
        OpenSlotFile(Slots[static_cast<std::size_t>(i)]);
        Progress(i);
    }
    {
        TServerConnection::TBatch batch(Connection);
        for (std::int32_t i = 0; i < count; ++i)
            Connection.WriteInt32(Slots[static_cast<std::size_t>(i)].Received);
    }
    SetViewerState(vsBlocks);
    return TStep::Continue;
}

void TViewerThread::ReadStreamHeader(TStreamSlot& slot) {
    const auto type = static_cast<std::uint8_t>(Connection.ReadInt32());
    const std::int32_t tag = Connection.ReadInt32();
    const std::int32_t length = Connection.ReadInt32();
    if (type != DemoStream && type != AudioStream)
        throw ENelqProtocolError("Connection announced a stream of unknown type " +
                                 std::to_string(type) + ".");
    if (length < 0 || length > MaxStreamLength)
        throw ENelqProtocolError("Connection announced a stream of " + std::to_string(length) +
                                 " bytes.");
    slot.Type = type;
    slot.DemoTag = tag;
    slot.Length = length;
    slot.Ended = false;
}

void TViewerThread::OpenSlotFile(TStreamSlot& slot) {
    const std::string path = CastDirectory() + "/" + SectionFileName(slot.Type, CurrentSection);
    // A half-received file is appended to; anything else starts empty. So
    // does a file longer than its stream: its bytes cannot be a prefix of it.
    bool fresh = !slot.Opened || slot.Path != path;
    if (!fresh) {
        std::error_code error;
        const auto size = fs::file_size(path, error);
        fresh = error || size > static_cast<std::uintmax_t>(slot.Length);
    }
    slot.Path = path;
    slot.Opened = true;
    if (fresh && !std::ofstream(path, std::ios::binary | std::ios::trunc))
        throw ENelqException("Cannot create " + path);
    slot.File.open(path, std::ios::in | std::ios::out | std::ios::binary);
    slot.File.seekp(0, std::ios::end);
    const auto size = static_cast<std::int64_t>(slot.File.tellp());
    if (!slot.File || size < 0)
        throw ENelqException("Cannot open " + path);
    slot.Received = static_cast<std::int32_t>(size);
}

void TViewerThread::ReadBlockMessage() {
    const std::int32_t index = Connection.ReadInt32();
    if (index < 0)
        return; // a keep-alive
    const auto kind = static_cast<std::uint8_t>(Connection.ReadInt32());
    if (kind == DataKind)
        AppendData(index);
    else if (kind == EndKind)
        EndStream(index);
}

TViewerThread::TStreamSlot& TViewerThread::OpenSlot(std::int32_t index) {
    // Data or an end for a stream that has already ended counts as a stream
    // the section does not have: its file is closed.
    if (index >= StreamCount || Slots[static_cast<std::size_t>(index)].Ended)
        throw ENelqInvalidStreamException();
    return Slots[static_cast<std::size_t>(index)];
}

void TViewerThread::AppendData(std::int32_t index) {
    TStreamSlot& slot = OpenSlot(index);
    // No more than the stream announced: a peer cannot fill the disk.
    slot.Received += Connection.ReadCounted(slot.File, slot.Length - slot.Received);
    if (!slot.File.flush())
        throw ENelqException("Cannot write " + slot.Path);
    Progress(index);
}

void TViewerThread::EndStream(std::int32_t index) {
    TStreamSlot& slot = OpenSlot(index);
    // The section is resumed from what is on disk: the slot keeps its file.
    if (slot.Received != slot.Length)
        throw ENelqProtocolError("Stream " + std::to_string(index) + " of section " +
                                 std::to_string(CurrentSection) + " ended after " +
                                 std::to_string(slot.Received) + " of its " +
                                 std::to_string(slot.Length) + " bytes.");
    slot.File.close();
    if (slot.File.fail())
        throw ENelqException("Cannot write " + slot.Path);
    slot.Ended = true;
    if (--OpenStreams > 0)
        return;
    for (auto& each : Slots)
        each.Opened = false;
    std::int32_t tag = 0; // an audio-only section has no demo tag
    if (Slots[0].Type == DemoStream)
        tag = Slots[0].DemoTag;
    else if (StreamCount > 1 && Slots[1].Type == DemoStream)
        tag = Slots[1].DemoTag;
    const std::int32_t section = CurrentSection;
    std::string failure;
    try {
        Synchronize([this, section, tag] {
            if (OnSectionComplete)
                OnSectionComplete(section, tag);
        });
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // Its files are whole: fetching them again cannot help, so a section that
    // cannot be assembled is reported once and the cast goes on.
    ++CurrentSection;
    SetViewerState(vsSectionHeader);
    if (!failure.empty())
        Status("Section " + std::to_string(section) + " could not be assembled: " + failure);
}

void TViewerThread::Progress(std::int32_t index) {
    const TStreamSlot& slot = Slots[static_cast<std::size_t>(index)];
    Synchronize([this, index, &slot] {
        if (OnProgress)
            OnProgress(index, CurrentSection, slot.Type, slot.Received, slot.Length);
    });
}
