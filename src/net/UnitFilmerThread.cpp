#include "net/UnitFilmerThread.h"

#include "net/NelqExceptions.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace {

// An empty directory stays empty, so it cannot turn into the root directory.
std::string WithSeparator(std::string directory) {
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    return directory;
}

std::int32_t PositiveRate(std::int32_t rate) {
    // No data would ever move; the wizard refuses such a rate before filming starts.
    if (rate <= 0)
        throw std::invalid_argument("The transfer rate must be a positive number");
    return rate;
}

} // namespace

TFilmerThread::TFilmerThread(SyncContext& sync, std::string clientVersion, std::string host,
                             std::string recordingsDirectory, std::string workDirectory,
                             std::string filmingPassword, std::string gameName, std::int32_t rate,
                             std::int32_t sectionStep, std::uint16_t port)
    : TFilmerConnectionThread(sync, std::move(clientVersion), std::move(host),
                              std::move(filmingPassword), std::move(gameName), port),
      RecordingsDirectory(WithSeparator(std::move(recordingsDirectory))), Rate(PositiveRate(rate)),
      Cutter(RecordingsDirectory, WithSeparator(std::move(workDirectory)), sectionStep,
             [this](std::int32_t section) {
                 Synchronize([this, section] {
                     if (OnAudioCut)
                         OnAudioCut(section);
                 });
             }) {}

void TFilmerThread::BeforeLoop() {
    // Filming goes on without it: fake sections still carry the commentary.
    std::error_code error;
    std::filesystem::directory_iterator listing(RecordingsDirectory, error);
    if (error)
        Status("Cannot read the recordings directory " + RecordingsDirectory + ": " +
               error.message());
    // Recordings that exist before filming starts never become sections.
    Cutter.SnapshotRecordings();
}

std::chrono::milliseconds TFilmerThread::PauseBeforeAttempt(bool) const {
    return PassInterval;
}

void TFilmerThread::BeginAttempt(bool) {
    Connection.SetIdleTimeout(IdleTimeout);
    for (TUploadPart& part : Parts) {
        part.File.close();
        part.Done = false;
    }
}

void TFilmerThread::EndAttempt() {
    ClosePartFiles();
}

void TFilmerThread::ClosePartFiles() {
    for (TUploadPart& part : Parts)
        part.File.close();
}

void TFilmerThread::FirstLoginAccepted() {
    FBytesSent = 0;
    UploadState = usPrepare;
}

void TFilmerThread::LoginResumed() {
    // The server's offsets tell what it lacks of the oldest section not yet
    // shown to be held; the one being uploaded follows it.
    if (FrontSentWhole) {
        FrontSentWhole = false;
        UploadState = usAnnounce;
    } else if (UploadState == usSend) {
        UploadState = usAnnounce;
    }
}

void TFilmerThread::LoggedIn() {
    ReportBytesSent();
}

TAttemptEnd TFilmerThread::CommandLoop() {
    while (SleepFor(PassInterval)) {
        Cutter.DetectRecordings();
        bool over = false;
        switch (UploadState) {
        case usPrepare:
            over = Prepare();
            break;
        case usAnnounce:
            Announce();
            break;
        case usSend:
            over = SendPass();
            break;
        }
        MeasureBacklog();
        if (over)
            return TAttemptEnd::EndThread;
    }
    return TAttemptEnd::Reconnect;
}

void TFilmerThread::MeasureBacklog() {
    const TSectionCutter::TQueuedWork queued = Cutter.QueuedWork(NextSection);
    TUploadBacklog backlog{queued.Sections, queued.Bytes};
    const std::size_t sending = FrontSentWhole ? 1 : 0;
    for (std::size_t index = sending; index < Outbox.size(); ++index) {
        ++backlog.Sections;
        const bool opened = index == sending && UploadState == usSend;
        for (std::size_t part = 0; part < 2; ++part) {
            if (opened) {
                const TUploadPart& open = Parts[part];
                backlog.Bytes += open.Done ? 0 : open.Size - open.Position;
            } else {
                std::error_code error;
                const auto size = std::filesystem::file_size(Outbox[index].Paths[part], error);
                backlog.Bytes += error ? 0 : static_cast<std::int64_t>(size);
            }
        }
    }
    std::lock_guard guard(BacklogLock);
    FBacklog = backlog;
}

TFilmerThread::TUploadBacklog TFilmerThread::UploadBacklog() const {
    std::lock_guard guard(BacklogLock);
    return FBacklog;
}

bool TFilmerThread::Prepare() {
    if (FinishWhenNothingLeft())
        return true;
    // A failure while building loses the entry, which is taken already; the
    // next entry then becomes this same section.
    const auto parts = Cutter.PrepareSection(NextSection);
    if (!parts) {
        SendKeepAlive();
        return false;
    }
    if (parts->BodyOffset > std::numeric_limits<std::int32_t>::max())
        throw ENelqException("The demo part of section " + std::to_string(NextSection) +
                             " is too large.");
    Outbox.push_back(TOutgoingSection{NextSection,
                                      {parts->DemoPart, parts->AudioPart},
                                      static_cast<std::int32_t>(parts->BodyOffset)});
    ++NextSection;
    UploadState = usAnnounce;
    return false;
}

void TFilmerThread::OpenPart(TUploadPart& part, const std::string& path) {
    part.File.close();
    part.File.clear();
    part.File.open(path, std::ios::binary);
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (!part.File || error)
        throw ENelqException("Cannot open " + path + " to send it.");
    if (size > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max()))
        throw ENelqException(path + " is too large to send.");
    part.Size = static_cast<std::int64_t>(size);
    part.Position = 0;
    part.Done = false;
}

void TFilmerThread::Announce() {
    const TOutgoingSection& section = Uploading();
    for (std::size_t index = 0; index < 2; ++index)
        OpenPart(Parts[index], section.Paths[index]);
    {
        TServerConnection::TBatch batch(Connection);
        Connection.WriteLine("TRANSMIT\t2\t" + std::to_string(section.Number));
        for (std::int32_t index = 0; index < 2; ++index) {
            const TUploadPart& part = Parts[static_cast<std::size_t>(index)];
            const bool demoWithBody = index == 0 && part.Size > 0;
            Connection.WriteInt32(index); // the part's kind
            Connection.WriteInt32(static_cast<std::int32_t>(part.Size));
            Connection.WriteInt32(demoWithBody ? section.DemoBodyOffset : 0);
        }
        batch.Commit();
    }
    for (TUploadPart& part : Parts) {
        const std::int32_t offset = Connection.ReadInt32();
        // A negative offset is as far outside the data as one beyond its end.
        if (offset < 0 || offset > part.Size)
            throw ENelqResumeOutsideRange();
        part.File.seekg(offset);
        part.Position = offset;
    }
    ReplyRead();
    UploadState = usSend;
    ReportBytesSent();
}

bool TFilmerThread::SendPass() {
    const auto pending = std::count_if(Parts.begin(), Parts.end(),
                                       [](const TUploadPart& part) { return part.Pending(); });
    const std::int64_t half = Rate / 2;
    const std::int64_t budget = Rate - pending * half + half;
    bool sent = false;
    for (std::int32_t index = 0; index < 2; ++index) {
        TUploadPart& part = Parts[static_cast<std::size_t>(index)];
        if (!part.Pending())
            continue;
        // The end marker goes out in a pass after the last block, never with it.
        if (part.Position < part.Size)
            SendBlock(index, part, budget);
        else
            SendEndOfPart(index, part);
        sent = true;
    }
    if (!sent)
        SendKeepAlive();
    if (!Parts[0].Done || !Parts[1].Done)
        return false;

    // Its files stay until a later reply shows that the end markers arrived.
    FrontSentWhole = true;
    if (Outbox.size() > 1) {
        UploadState = usAnnounce; // the section that was being uploaded before a reconnection
        return false;
    }
    UploadState = usPrepare;
    return FinishWhenNothingLeft();
}

void TFilmerThread::ReplyRead() {
    // TCP delivers in order, and the server answers only what it accepted.
    if (!FrontSentWhole)
        return;
    const TOutgoingSection held = std::move(Outbox.front());
    Outbox.pop_front();
    FrontSentWhole = false;
    for (const std::string& path : held.Paths) {
        // Fake sections share one empty demo part file.
        const bool stillUsed =
            std::any_of(Outbox.begin(), Outbox.end(), [&](const TOutgoingSection& section) {
                return std::find(section.Paths.begin(), section.Paths.end(), path) !=
                       section.Paths.end();
            });
        std::error_code ignored; // a leftover file is overwritten by a later section
        if (!stillUsed)
            std::filesystem::remove(path, ignored);
    }
}

void TFilmerThread::SendBlock(std::int32_t index, TUploadPart& part, std::int64_t budget) {
    const std::int64_t length = std::min(part.Size - part.Position, budget);
    AddBytesSent(length);
    TServerConnection::TBatch batch(Connection);
    Connection.WriteLine("BLOCK");
    Connection.WriteInt32(index);
    Connection.WriteInt32(0);
    Connection.WriteCounted(part.File, static_cast<std::int32_t>(length));
    batch.Commit();
    part.Position += length;
    ReportBytesSent();
}

void TFilmerThread::SendEndOfPart(std::int32_t index, TUploadPart& part) {
    TServerConnection::TBatch batch(Connection);
    Connection.WriteLine("BLOCK");
    Connection.WriteInt32(index);
    Connection.WriteInt32(1);
    batch.Commit();
    part.Done = true;
    part.File.close();
}

void TFilmerThread::SendKeepAlive() {
    Connection.WriteLine("HI");
    Connection.ReadLine();
    ReplyRead();
}

// Once "Stop Recording" has been pressed nothing more is queued, so an empty
// queue then is the end of the run. (While filming goes on, the queue may run
// empty for a moment before the next fake entry arrives.)
bool TFilmerThread::FinishWhenNothingLeft() {
    if (Cutter.IsAccepting() || !Cutter.QueueEmpty())
        return false;
    Connection.WriteLine("COMPLETED");
    // The keep-alive's reply shows that the server holds the last section and
    // the completion; without it both are sent again after a reconnection.
    SendKeepAlive();
    Status("Stream upload Complete");
    SetEnding(TThreadEnding::Finished);
    ClosePartFiles();
    return true;
}

void TFilmerThread::AddBytesSent(std::int64_t bytes) {
    // Wraps like the 32-bit counter it is, without overflowing a signed type.
    const auto sum =
        static_cast<std::uint32_t>(FBytesSent.load()) + static_cast<std::uint32_t>(bytes);
    FBytesSent = static_cast<std::int32_t>(sum);
}

void TFilmerThread::ReportBytesSent() {
    const std::int32_t bytes = FBytesSent.load();
    Synchronize([this, bytes] {
        if (OnBytesSent)
            OnBytesSent(bytes);
    });
}
