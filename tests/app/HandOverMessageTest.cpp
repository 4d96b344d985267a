#include "app/HandOverMessage.h"
#include "ScratchDir.h"

#include <optional>

namespace {

struct Expected {
    std::string Host, Game, Archive;
};

std::optional<Expected> Read(const std::string& message) {
    const std::optional<CommandLineRequest> r = ReadHandOverMessage(message);
    if (!r)
        return std::nullopt;
    return Expected{r->LinkHost, r->LinkGame, r->PendingArchive};
}

// The working directory for one test, given back afterwards.
class InDirectory {
public:
    explicit InDirectory(const std::filesystem::path& directory)
        : Saved(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~InDirectory() { std::filesystem::current_path(Saved); }

private:
    const std::filesystem::path Saved;
};

bool operator==(const Expected& a, const Expected& b) {
    return a.Host == b.Host && a.Game == b.Game && a.Archive == b.Archive;
}

} // namespace

// What a running client makes of what arrives on its socket: only what a
// command line could ask for, and nothing from a peer that sends more or else.
TEST(HandOverMessage, OnlyALinkOrAnExistingAbsoluteArchiveIsTaken) {
    ScratchDir dir;
    const std::string archive = dir / "my cast.qmx";
    WriteAll(archive, "PK");
    WriteAll(dir / "cast.zip", "PK");
    const std::string longHost(HandOverMessageLimit - std::string("nelq:///").size(), 'h');
    const std::optional<Expected> refused;
    const InDirectory parent(dir.Path.parent_path());
    const std::string relative = dir.Path.filename().string() + "/my cast.qmx";

    const std::vector<std::pair<std::string, std::optional<Expected>>> cases = {
        {"nelq://host:28100/ctf final/", Expected{"host:28100", "CTF FINAL", ""}},
        {"NELQ://host", Expected{"host", "", ""}},
        {"nelq://" + longHost + "/", Expected{longHost, "", ""}},
        {archive, Expected{"", "", archive}},
        {"nelq://" + longHost + "x/", refused}, // one byte over the limit
        {std::string(1 << 20, 'a'), refused},
        {"nelq://ho\x01st/GAME/", refused},
        {std::string("nelq://host/GA\0ME/", 17), refused},
        {"nelq://host/GAME/\n" + archive, refused},
        {"\xff\xfe\x80\x81nelq://host/", refused},
        {"", refused},
        {"nelq:///GAME/", refused},
        {"http://host/GAME/", refused},
        {"--help", refused},
        {dir / "missing.qmx", refused},
        {dir / "cast.zip", refused},
        {relative, refused}, // the sender's working directory is unknown here
    };
    for (const auto& [message, expected] : cases) {
        const std::optional<Expected> got = Read(message);
        EXPECT_EQ(got.has_value(), expected.has_value()) << message.substr(0, 80);
        if (got && expected) {
            EXPECT_TRUE(*got == *expected) << message.substr(0, 80) << " -> " << got->Host << "|"
                                           << got->Game << "|" << got->Archive;
        }
    }
}

TEST(HandOverMessage, WhatTheSenderWritesReadsBackAsItsRequest) {
    ScratchDir dir;
    const std::string archive = dir / "cast  two.qmx";
    WriteAll(archive, "PK");
    const InDirectory parent(dir.Path.parent_path());
    const std::string relative = dir.Path.filename().string() + "/cast  two.qmx";

    const std::vector<std::pair<CommandLineRequest, Expected>> cases = {
        {{"cast.example.org:28100", "CTF%20FINAL", ""},
         {"cast.example.org:28100", "CTF%20FINAL", ""}},
        {{"host", "100% CTF/\xC3\x89T\xC3\x89", ""}, {"host", "100% CTF/\xC3\x89T\xC3\x89", ""}},
        {{"host", "", ""}, {"host", "", ""}},
        {{"", "", archive}, {"", "", archive}},
        {{"", "", relative}, {"", "", archive}}, // made absolute by the sender
    };
    for (const auto& [request, expected] : cases) {
        const std::string message = HandOverMessage(request);
        const std::optional<Expected> got = Read(message);
        ASSERT_TRUE(got.has_value()) << message;
        EXPECT_TRUE(*got == expected) << message;
    }
    EXPECT_EQ(HandOverMessage({}), "");
}
