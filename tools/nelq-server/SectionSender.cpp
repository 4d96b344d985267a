#include "SectionSender.h"

#include "net/NelqExceptions.h"
#include "net/UnitServerConnection.h"

#include <chrono>
#include <fstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A viewer takes one block per 250 ms: 32768 bytes a block are four times
// what the fastest filmer (20000 bytes/s for both parts) sends, so a viewer
// that joined late catches up.
constexpr std::int32_t BlockSize = TServerConnection::MaxChunk;
constexpr auto KeepAliveInterval = std::chrono::seconds(1);
constexpr std::int32_t EndOfCast = -1;
constexpr std::int32_t CastDeleted = -2;
constexpr std::int32_t HeaderKeepAlive = 0; // "no streams yet" in place of a header
constexpr std::int32_t BlockKeepAlive = -1; // a negative stream index
constexpr std::int32_t DataKind = 0;
constexpr std::int32_t EndKind = 1;

// One stream of the section being sent: which stored part, and from where.
struct TSlot {
    int Part = 0;
    std::int32_t Type = 0;
    std::int32_t Tag = 0;
    std::int32_t Base = 0; // offset in the stored part where the stream begins
    std::int32_t Length = 0;
    std::int32_t Sent = 0;
    bool Ended = false;
    std::ifstream File;
};

class TSectionSender {
public:
    TSectionSender(TServerConnection& connection, const TSessionContext& context, TCast& cast,
                   const TViewRequest& request, const std::function<void()>& active)
        : Connection(connection), Context(context), Cast(cast), Request(request), Active(active) {}

    std::string Run() {
        for (std::int32_t section = Request.CurrentSection;; ++section) {
            const TSectionView view = WaitForSection(section);
            if (view.Deleted) {
                Connection.WriteInt32(CastDeleted);
                return "told " + Cast.Name + " was deleted";
            }
            if (!view.Exists) {
                Connection.WriteInt32(EndOfCast);
                return "sent " + Cast.Name + " to its end";
            }
            SendSection(section, view);
        }
    }

private:
    void CheckStopping() const {
        if (Context.Stopping)
            throw ENelqConnectionError("The server is stopping.");
    }

    // Waits until the section exists or the cast has ended or gone.
    TSectionView WaitForSection(std::int32_t section) {
        for (;;) {
            const TSectionView view = Cast.ViewSection(section);
            if (view.Deleted || view.Exists || view.Completed)
                return view;
            CheckStopping();
            KeepAliveAfterWaiting(view.Version, HeaderKeepAlive);
        }
    }

    void KeepAliveAfterWaiting(std::uint64_t version, std::int32_t keepAlive) {
        Cast.WaitForChange(version, KeepAliveInterval);
        if (Clock::now() - LastSent >= KeepAliveInterval) {
            Connection.WriteInt32(keepAlive);
            Delivered();
        }
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
            slot.File.open(Cast.PartPath(section, slot.Part), std::ios::binary);
        return slots;
    }

    void SendSection(std::int32_t section, const TSectionView& view) {
        std::vector<TSlot> slots = Slots(section, view);
        {
            TServerConnection::TBatch batch(Connection);
            Connection.WriteInt32(static_cast<std::int32_t>(slots.size()));
            for (const auto& slot : slots) {
                Connection.WriteInt32(slot.Type);
                Connection.WriteInt32(slot.Tag);
                Connection.WriteInt32(slot.Length);
            }
        }
        Delivered();
        for (auto& slot : slots) {
            slot.Sent = Connection.ReadInt32();
            if (slot.Sent < 0 || slot.Sent > slot.Length)
                throw ENelqProtocolError("Resume offset " + std::to_string(slot.Sent) +
                                         " outside the stream (0 to " +
                                         std::to_string(slot.Length) + ").");
            if (!slot.File)
                throw ENelqException("Cannot read the stored section " + std::to_string(section) +
                                     ".");
        }
        Active();
        std::size_t open = slots.size();
        while (open > 0) {
            const TSectionView now = Cast.ViewSection(section);
            if (now.Deleted)
                throw ENelqConnectionError("The game was deleted while being sent.");
            CheckStopping();
            bool progressed = false;
            {
                TServerConnection::TBatch batch(Connection);
                for (std::size_t index = 0; index < slots.size(); ++index) {
                    TSlot& slot = slots[index];
                    if (slot.Ended)
                        continue;
                    const TPartState& part = now.Section.Parts[static_cast<std::size_t>(slot.Part)];
                    const std::int32_t available = std::max(part.Received - slot.Base, 0);
                    if (slot.Sent < available) {
                        SendBlock(static_cast<std::int32_t>(index), slot, available);
                        progressed = true;
                    } else if (part.Ended) {
                        Connection.WriteInt32(static_cast<std::int32_t>(index));
                        Connection.WriteInt32(EndKind);
                        slot.Ended = true;
                        --open;
                        progressed = true;
                    }
                }
            }
            if (progressed)
                Delivered();
            else
                KeepAliveAfterWaiting(now.Version, BlockKeepAlive);
        }
    }

    void SendBlock(std::int32_t index, TSlot& slot, std::int32_t available) {
        const std::int32_t count = std::min(available - slot.Sent, BlockSize);
        slot.File.clear();
        slot.File.seekg(slot.Base + slot.Sent);
        Connection.WriteInt32(index);
        Connection.WriteInt32(DataKind);
        Connection.WriteCounted(slot.File, count);
        slot.Sent += count;
    }

    // The connection took what was written (a viewer that stops reading
    // blocks the writes, and this stops being called).
    void Delivered() {
        LastSent = Clock::now();
        Active();
    }

    TServerConnection& Connection;
    const TSessionContext& Context;
    TCast& Cast;
    const TViewRequest& Request;
    const std::function<void()>& Active;
    Clock::time_point LastSent = Clock::now();
};

} // namespace

std::string SendSections(TServerConnection& connection, const TSessionContext& context,
                         const TViewRequest& request, const std::function<void()>& active) {
    const auto cast = context.Store.Find(request.GameName);
    if (!cast) {
        connection.WriteInt32(CastDeleted);
        return "told " + request.GameName + " does not exist (deleted)";
    }
    // Counted for the web page while this connection is sent the cast.
    struct TViewing {
        explicit TViewing(TCast& cast) : Cast(cast) { Cast.ViewerJoined(); }
        ~TViewing() { Cast.ViewerLeft(); }
        TCast& Cast;
    } viewing(*cast);
    return TSectionSender(connection, context, *cast, request, active).Run();
}
