#include "SectionSender.h"

#include "AsyncConnection.h"
#include "CastNews.h"

#include "net/NelqExceptions.h"
#include "net/WireUnits.h"

#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A viewer takes one block per 250 ms: 32768 bytes a block are four times
// what the fastest filmer (20000 bytes/s for both parts) sends, so a viewer
// that joined late catches up.
constexpr std::int32_t BlockSize = Wire::MaxChunk;
constexpr auto KeepAliveInterval = std::chrono::seconds(1);
// A filmer's passes come once a second too: a keep-alive falling due with
// the next pass would go out just before its blocks, two messages where one
// does (each costs the viewer a turn of its read loop). The pass wins by this.
constexpr auto KeepAliveGrace = std::chrono::milliseconds(50);
constexpr std::int32_t EndOfCast = -1;
constexpr std::int32_t CastDeleted = -2;
constexpr std::int32_t HeaderKeepAlive = 0; // "no streams yet" in place of a header
constexpr std::int32_t BlockKeepAlive = -1; // a negative stream index
constexpr std::int32_t DataKind = 0;
constexpr std::int32_t EndKind = 1;

std::string Int32Message(std::int32_t value) {
    std::string message;
    Wire::AppendInt32(message, value);
    return message;
}

// One stream of the section being sent: which stored part, and from where.
struct TSlot {
    int Part = 0;
    std::int32_t Type = 0;
    std::int32_t Tag = 0;
    std::int32_t Base = 0; // offset in the stored part where the stream begins
    std::int32_t Length = 0;
    std::int32_t Sent = 0;
    bool Ended = false;
    std::shared_ptr<const TPartMap> Map; // shared with the cast's other viewers
};

class TSectionSender {
public:
    TSectionSender(TAsyncConnection& connection, const TSessionContext& context, TCast& cast,
                   const TViewRequest& request, const asio::any_io_executor& strand)
        : Connection(connection), Context(context), Cast(cast), Request(request),
          WaitForNews(cast, strand) {}

    asio::awaitable<std::string> Run() {
        for (std::int32_t section = Request.CurrentSection;; ++section) {
            const TSectionView view = co_await WaitForSection(section);
            if (view.Deleted) {
                co_await Send(Int32Message(CastDeleted));
                co_return "told " + Cast.Name + " was deleted";
            }
            if (!view.Exists) {
                co_await Send(Int32Message(EndOfCast));
                co_return "sent " + Cast.Name + " to its end";
            }
            co_await SendSection(section, view);
        }
    }

private:
    void CheckStopping() const {
        if (Context.Stopping)
            throw ENelqConnectionError("The server is stopping.");
    }

    // Waits until the section exists or the cast has ended or gone. End
    // markers held back go out before any wait: the viewer learns at once
    // that its section is whole.
    asio::awaitable<TSectionView> WaitForSection(std::int32_t section) {
        for (;;) {
            const TSectionView view = Cast.ViewSection(section);
            if (view.Deleted || view.Exists || view.Completed)
                co_return view;
            CheckStopping();
            if (!Connection.HoldsWrites())
                co_await KeepAliveOrWait(view.Version, HeaderKeepAlive);
            else
                co_await Send(std::string());
        }
    }

    // With nothing to send: a keep-alive once the viewer has heard nothing
    // for KeepAliveInterval (or the end markers held back, which do as
    // well), else a wait for news until then.
    asio::awaitable<void> KeepAliveOrWait(std::uint64_t version, std::int32_t keepAlive) {
        const auto due = LastSent + KeepAliveInterval + KeepAliveGrace;
        if (Clock::now() < due) {
            co_await WaitForNews(version, due - Clock::now());
            co_return;
        }
        std::string keepAliveMessage;
        if (!Connection.HoldsWrites())
            Wire::AppendInt32(keepAliveMessage, keepAlive);
        co_await Send(std::move(keepAliveMessage));
    }

    // The end markers held back, then `message`, in one write.
    asio::awaitable<void> Send(const std::string& message) {
        co_await Connection.Write(message);
        Delivered();
    }

    std::vector<TSlot> Slots(std::int32_t section, const TSectionView& view) const {
        std::vector<TSlot> slots;
        if (!Request.AudioOnly) {
            const TPartState& demo = view.Section.Parts[0];
            TSlot slot;
            slot.Part = 0;
            slot.Type = 0;
            slot.Tag = demo.BodyOffset;
            slot.Base =
                DemoStreamBase(demo, section == Request.StartSection || view.PreviousDemoSize == 0);
            slot.Length = demo.Size - slot.Base;
            slots.push_back(std::move(slot));
        }
        TSlot audio;
        audio.Part = 1;
        audio.Type = 1;
        audio.Length = view.Section.Parts[1].Size;
        slots.push_back(std::move(audio));
        for (auto& slot : slots)
            slot.Map = Cast.PartForSending(section, slot.Part);
        return slots;
    }

    asio::awaitable<void> SendSection(std::int32_t section, const TSectionView& view) {
        std::vector<TSlot> slots = Slots(section, view);
        std::string header;
        Wire::AppendInt32(header, static_cast<std::int32_t>(slots.size()));
        for (const auto& slot : slots) {
            Wire::AppendInt32(header, slot.Type);
            Wire::AppendInt32(header, slot.Tag);
            Wire::AppendInt32(header, slot.Length);
        }
        co_await Send(header);
        for (auto& slot : slots) {
            slot.Sent = co_await Connection.ReadInt32();
            if (slot.Sent < 0 || slot.Sent > slot.Length)
                throw ENelqProtocolError("Resume offset " + std::to_string(slot.Sent) +
                                         " outside the stream (0 to " +
                                         std::to_string(slot.Length) + ").");
            if (!slot.Map)
                throw ENelqException("Cannot read the stored section " + std::to_string(section) +
                                     ".");
        }
        Connection.Touch();
        std::size_t open = slots.size();
        std::vector<std::string> heads(slots.size()); // each slot's piece of the next message
        while (open > 0) {
            const TSectionView now = Cast.ViewSection(section);
            if (now.Deleted)
                throw ENelqConnectionError("The game was deleted while being sent.");
            CheckStopping();
            // Every slot's block that is ready, in one message. End markers
            // wait for the next one (a block, the next section's header, a
            // keep-alive): a viewer needs them only once all its streams end.
            std::vector<asio::const_buffer> pieces;
            pieces.reserve(2 * slots.size());
            bool ready = false; // more to send from this view: no need to wait
            for (std::size_t index = 0; index < slots.size(); ++index) {
                TSlot& slot = slots[index];
                if (slot.Ended)
                    continue;
                const TPartState& part = now.Section.Parts[static_cast<std::size_t>(slot.Part)];
                const std::int32_t available = std::max(part.Received - slot.Base, 0);
                if (slot.Sent < available) {
                    // Counted as received only once the filmer's bytes were in the file.
                    const std::int32_t count = std::min(available - slot.Sent, BlockSize);
                    if (!slot.Map->Reaches(slot.Base + slot.Sent + count))
                        throw ENelqException("The stored section " + std::to_string(section) +
                                             " was cut short.");
                    std::string& head = heads[index];
                    head.clear();
                    Wire::AppendInt32(head, static_cast<std::int32_t>(index));
                    Wire::AppendInt32(head, DataKind);
                    Wire::AppendInt32(head, count);
                    pieces.push_back(asio::buffer(head));
                    pieces.push_back(asio::buffer(slot.Map->Bytes() + slot.Base + slot.Sent,
                                                  static_cast<std::size_t>(count)));
                    slot.Sent += count;
                    ready |= slot.Sent < available || part.Ended;
                } else if (part.Ended) {
                    std::string marker;
                    Wire::AppendInt32(marker, static_cast<std::int32_t>(index));
                    Wire::AppendInt32(marker, EndKind);
                    Connection.WriteLater(marker);
                    slot.Ended = true;
                    --open;
                }
            }
            if (!pieces.empty()) {
                // The markers held back, which end other streams than these
                // blocks, go ahead of them.
                co_await Connection.Write(std::move(pieces));
                Delivered();
            }
            // A change since this view wakes the wait at once.
            if (!ready && open > 0)
                co_await KeepAliveOrWait(now.Version, BlockKeepAlive);
        }
    }

    // The connection took what was written (a viewer that stops reading
    // leaves the write waiting, and this is not reached).
    void Delivered() {
        LastSent = Clock::now();
        Connection.Touch();
    }

    TAsyncConnection& Connection;
    const TSessionContext& Context;
    TCast& Cast;
    const TViewRequest& Request;
    TNewsWait WaitForNews;
    Clock::time_point LastSent = Clock::now();
};

// Counted for the web page while a connection is sent the cast.
class TViewing {
public:
    explicit TViewing(TCast& cast) : Cast(cast) { Cast.ViewerJoined(); }
    ~TViewing() { Cast.ViewerLeft(); }
    TViewing(const TViewing&) = delete;
    TViewing& operator=(const TViewing&) = delete;

private:
    TCast& Cast;
};

} // namespace

asio::awaitable<std::string> SendSections(TAsyncConnection& connection,
                                          const TSessionContext& context,
                                          const TViewRequest& request) {
    const auto cast = context.Store.Find(request.GameName);
    if (!cast) {
        co_await connection.Write(Int32Message(CastDeleted));
        co_return "told " + request.GameName + " does not exist (deleted)";
    }
    TViewing viewing(*cast);
    TSectionSender sender(connection, context, *cast, request,
                          co_await asio::this_coro::executor);
    co_return co_await sender.Run();
}
