#pragma once

#include "demo/UnitSectionCutter.h"
#include "net/UnitFilmerConnection.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <functional>
#include <string>

// The worker thread of a filming run: keeps the connection on the filmer
// port, turns finished recordings and fake stretches into sections through
// its section cutter, and uploads both parts of every section, throttled to
// `Rate` bytes per pass. It ends once the queue has run empty after
// SetAccepting(false) and the server has acknowledged "COMPLETED", when the
// server refuses it, or when stopped.
//
// Each pass (PassInterval apart) detects recordings and then acts on the
// upload state: prepare the next section (or send a keep-alive), announce it
// with "TRANSMIT", or send one budget of "BLOCK"s.
//
// A section's files are kept until a reply read after its end markers (to
// the next announce or to a keep-alive) shows that the server holds all of
// it: a connection may die with its tail still in flight. After a
// reconnection that section is announced again first, and the server's resume
// offsets say what of it is missing; then the section that was being sent.
class TFilmerThread : public TFilmerConnectionThread {
public:
    // Both directories get a trailing separator if they lack one. `rate` is in
    // bytes per second and must be positive; `sectionStep` is 1 to 6.
    TFilmerThread(SyncContext& sync, std::string clientVersion, std::string host,
                  std::string recordingsDirectory, std::string workDirectory,
                  std::string filmingPassword, std::string gameName, std::int32_t rate,
                  std::int32_t sectionStep, std::uint16_t port = FilmerRole.Port);

    // Run on the main thread through Synchronize.
    std::function<void(std::int32_t bytes)> OnBytesSent;
    std::function<void(std::int32_t section)> OnAudioCut;

    // ---- main thread
    void SetAccepting(bool accepting) { Cutter.SetAccepting(accepting); }
    bool IsAllowFake() const { return Cutter.IsAllowFake(); }
    void QueueFake(const std::string& name = TSectionCutter::FakeEntry) { Cutter.QueueFake(name); }
    void ReleaseFake() { Cutter.ReleaseFake(); }

    // Payload bytes sent in counted blocks since the first accepted login.
    std::int32_t BytesSent() const { return FBytesSent.load(); }

    // What is still to go up, as the last pass measured it.
    struct TUploadBacklog {
        std::int32_t Sections = 0;
        std::int64_t Bytes = 0;
    };
    TUploadBacklog UploadBacklog() const;

    // Time between passes and before every connection attempt; set before Start.
    void SetPassInterval(std::chrono::milliseconds interval) { PassInterval = interval; }
    // How long a read or write may wait without a byte moving before the
    // connection counts as dead and is made again; set before Start.
    void SetIdleTimeout(std::chrono::milliseconds timeout) { IdleTimeout = timeout; }

protected:
    void BeforeLoop() override;
    std::chrono::milliseconds PauseBeforeAttempt(bool firstAttempt) const override;
    void BeginAttempt(bool firstAttempt) override;
    void FirstLoginAccepted() override;
    void LoginResumed() override;
    void LoggedIn() override;
    TAttemptEnd CommandLoop() override;
    void EndAttempt() override;

private:
    enum TUploadState : std::uint8_t { usAnnounce = 0, usPrepare = 1, usSend = 2 };

    // A prepared section, kept with its part files until the server has
    // shown that it holds all of it.
    struct TOutgoingSection {
        std::int32_t Number = 0;
        std::array<std::string, 2> Paths; // the demo part, the audio part
        std::int32_t DemoBodyOffset = 0;
    };

    // One part of the section being uploaded; part 0 is the demo part, part 1
    // the audio part, and each part's index is also its kind.
    struct TUploadPart {
        std::ifstream File;
        std::int64_t Size = 0;
        std::int64_t Position = 0;
        bool Done = false;

        bool Pending() const { return File.is_open() && !Done; }
    };

    // Each returns true when the run is over ("COMPLETED" has been acknowledged).
    bool Prepare();
    void Announce();
    bool SendPass();
    bool FinishWhenNothingLeft();

    const TOutgoingSection& Uploading() const { return Outbox[FrontSentWhole ? 1 : 0]; }
    // A reply has been read after everything sent before it.
    void ReplyRead();
    void OpenPart(TUploadPart& part, const std::string& path);
    void SendBlock(std::int32_t index, TUploadPart& part, std::int64_t budget);
    void SendEndOfPart(std::int32_t index, TUploadPart& part);
    void SendKeepAlive();
    void ClosePartFiles();
    void AddBytesSent(std::int64_t bytes);
    void MeasureBacklog();
    void ReportBytesSent();

    const std::string RecordingsDirectory;
    const std::int32_t Rate;
    TSectionCutter Cutter;
    std::chrono::milliseconds PassInterval{1000};
    std::chrono::milliseconds IdleTimeout = std::chrono::seconds(30);

    std::atomic<std::int32_t> FBytesSent{0};
    mutable std::mutex BacklogLock;
    TUploadBacklog FBacklog; // guarded by BacklogLock

    // Upload thread only.
    TUploadState UploadState = usPrepare;
    std::int32_t NextSection = 0; // the number the next prepared section gets
    // Prepared sections not yet shown to be held, oldest first: at most the
    // one sent whole and awaiting a reply, and the one being uploaded.
    std::deque<TOutgoingSection> Outbox;
    bool FrontSentWhole = false;      // Outbox.front() went out with its end markers
    std::array<TUploadPart, 2> Parts; // of Uploading()
};
