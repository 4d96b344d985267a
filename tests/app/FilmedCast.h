#pragma once

#include "CastClients.h"
#include "CastingServer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// A cast as a filming run leaves it on a server: sections cut from generated
// recordings (with the recording's head only at start points; fake sections
// with an empty demo part) and real Ogg Vorbis commentary. Section n carries
// the info text InfoText(n). The recordings' heads and packet streams are kept
// to check what a viewer rebuilds from them.
enum class TSectionKind { StartPoint, Body, Fake };

struct TFilmedSection {
    TSectionParts Parts;
    std::string Head;    // of the recording the section was cut from
    std::string Packets; // its inflated packet stream
};

class TFilmedCast {
public:
    // Builds the sections' files in `workDirectory`.
    TFilmedCast(const std::string& workDirectory, const std::vector<TSectionKind>& kinds);

    std::vector<TSectionParts> Parts() const;

    // "completed.dat" of a viewing that completed sections first to last.
    std::string CompletedList(int first, int last) const;
    // The packet streams of sections first to last, end to end.
    std::string PacketsOf(int first, int last) const;

    std::vector<TFilmedSection> Sections;
};

// Films sections onto the casting server at `address` as a filmer would,
// waiting for the server to come up. A cast left incomplete goes on for its
// viewers as if its filmer had dropped out.
void FilmCast(const std::string& address, const std::string& game,
              const std::vector<TSectionParts>& sections, bool complete = true);

// A casting server in this process on its own loopback address with the
// fixed ports.
class TCastServer {
public:
    TCastServer(const std::string& address, const std::filesystem::path& data);

    void Film(const std::string& game, const std::vector<TSectionParts>& sections,
              bool complete = true) {
        FilmCast(Address, game, sections, complete);
    }

    const std::string Address;
    std::unique_ptr<TCastingServer> Server;
};

// A rebuilt recording compared with its source: the head verbatim, then a zlib
// stream (inflated independently, with Python's zlib) that must be complete.
void ExpectRebuiltRecording(const std::string& path, const std::string& head,
                            const std::string& packets);
