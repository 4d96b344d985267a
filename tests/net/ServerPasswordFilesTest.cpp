#include "ServerOptions.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

namespace fs = std::filesystem;

namespace {

struct TFileCase {
    const char* Name;
    std::optional<std::string> FilmFile;    // the file "film", when there is one
    std::optional<std::string> ViewersFile; // the file "viewers"
    mode_t Mode;
    std::vector<std::string> Arguments; // after --bind and --data; "@x" names file x
    const char* Error;                  // nullptr: accepted
    std::optional<std::string> FilmPassword = std::nullopt;
    std::map<std::string, std::string> Viewers = {};
};

} // namespace

TEST(ServerPasswordFiles, AreReadWithTheirRulesAndEveryFaultNamesTheFileAndLine) {
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-net-passwords-" + std::to_string(::getpid()));
    const std::vector<TFileCase> cases{
        {"good",
         "s3cret\nignored\n",
         "# viewers\nann:pw1\n\r\nbob:a:b\r\ncid:\n",
         0640,
         {"--film-password-file", "@film", "--viewers-file", "@viewers"},
         nullptr,
         "s3cret",
         {{"ann", "pw1"}, {"bob", "a:b"}, {"cid", ""}}},
        {"no line end, owner only",
         "s3cret",
         "ann:pw1",
         0600,
         {"--viewers-file", "@viewers", "--film-password-file", "@film"},
         nullptr,
         "s3cret",
         {{"ann", "pw1"}}},
        {"with --viewer",
         std::nullopt,
         "ann:pw1\n",
         0640,
         {"--viewer", "bob:pw2", "--viewers-file", "@viewers"},
         nullptr,
         std::nullopt,
         {{"ann", "pw1"}, {"bob", "pw2"}}},
        {"empty password file",
         "\nsecond\n",
         std::nullopt,
         0640,
         {"--film-password-file", "@film"},
         "film: the password (the file's first line) is empty"},
        {"empty file",
         "",
         std::nullopt,
         0640,
         {"--film-password-file", "@film"},
         "film: the password (the file's first line) is empty"},
        {"malformed line",
         std::nullopt,
         "ann:pw1\nbob\n",
         0640,
         {"--viewers-file", "@viewers"},
         "viewers: line 2: expected USER:PASSWORD"},
        {"no user",
         std::nullopt,
         "\n\n:pw\n",
         0640,
         {"--viewers-file", "@viewers"},
         "viewers: line 3: expected USER:PASSWORD"},
        {"TAB never matches on the wire",
         std::nullopt,
         "ann:p\tw\n",
         0640,
         {"--viewers-file", "@viewers"},
         "viewers: line 1: expected USER:PASSWORD"},
        {"duplicate user",
         std::nullopt,
         "ann:pw1\n#\nann:pw2\n",
         0640,
         {"--viewers-file", "@viewers"},
         "viewers: line 3: user ann is given twice"},
        {"duplicate of --viewer",
         std::nullopt,
         "ann:pw1\n",
         0640,
         {"--viewers-file", "@viewers", "--viewer", "ann:pw0"},
         "viewers: line 1: user ann is given twice"},
        {"other-readable",
         "s3cret\n",
         std::nullopt,
         0644,
         {"--film-password-file", "@film"},
         "film: is readable by other users; make it private with: chmod o-r"},
        {"other-readable viewers",
         std::nullopt,
         "ann:pw1\n",
         0604,
         {"--viewers-file", "@viewers"},
         "viewers: is readable by other users"},
        {"missing",
         std::nullopt,
         std::nullopt,
         0640,
         {"--viewers-file", "@absent"},
         "absent: cannot read: No such file or directory"},
        {"a directory",
         std::nullopt,
         std::nullopt,
         0640,
         {"--film-password-file", "@"},
         "is a directory"},
        {"both film options",
         "s3cret\n",
         std::nullopt,
         0640,
         {"--film-password", "p", "--film-password-file", "@film"},
         "give --film-password or --film-password-file, not both"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        for (const auto& [name, text] : {std::pair{"film", c.FilmFile}, {"viewers", c.ViewersFile}})
            if (text) {
                std::ofstream(scratch / name) << *text;
                ASSERT_EQ(::chmod((scratch / name).c_str(), c.Mode), 0);
            }
        std::vector<std::string> arguments{"--bind", "127.0.0.1", "--data", "d"};
        for (const auto& argument : c.Arguments)
            arguments.push_back(argument.starts_with('@') ? (scratch / argument.substr(1)).string()
                                                          : argument);
        if (!c.Error) {
            const TServerOptions options = ParseServerOptions(arguments);
            EXPECT_EQ(options.FilmPassword, c.FilmPassword);
            EXPECT_EQ(options.Viewers, c.Viewers);
            continue;
        }
        try {
            ParseServerOptions(arguments);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(c.Error), std::string::npos) << error.what();
        }
    }
    fs::remove_all(scratch);
}
