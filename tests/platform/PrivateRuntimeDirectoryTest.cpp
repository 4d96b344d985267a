#include "platform/PrivateRuntimeDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class PrivateRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nelq-runtime-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
            if (const char* value = std::getenv(name))
                Saved.emplace_back(name, value);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("TMPDIR");
        for (const auto& [name, value] : Saved)
            setenv(name.c_str(), value.c_str(), 1);
        fs::remove_all(Dir);
    }

    fs::path Dir;
    std::vector<std::pair<std::string, std::string>> Saved;
};

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0;
}

} // namespace

// Only this user may reach the sockets put there: what cannot be made so is refused.
TEST_F(PrivateRuntime, TheDirectoryIsTheUsersAloneOrRefused) {
    const std::string uid = std::to_string(::geteuid());
    struct Case {
        const char* What;
        std::string Runtime; // empty: unset
        std::function<void(const fs::path&)> Prepare;
        std::string Expected; // empty: refused
    };
    const auto nothing = [](const fs::path&) {};
    std::vector<Case> cases = {
        {"made under the runtime directory", "run", nothing, "run/nelq-client"},
        {"opened again by a later client", "run",
         [](const fs::path& p) { fs::create_directories(p / "nelq-client"); }, "run/nelq-client"},
        {"made private again", "run",
         [](const fs::path& p) {
             fs::create_directories(p / "nelq-client");
             ::chmod((p / "nelq-client").c_str(), 0777);
         },
         "run/nelq-client"},
        {"a planted link", "run",
         [](const fs::path& p) {
             fs::create_directories(p / "run");
             fs::create_directories(p / "elsewhere");
             fs::create_directory_symlink(p / "elsewhere", p / "run/nelq-client");
         },
         ""},
        {"a planted file", "run",
         [](const fs::path& p) {
             fs::create_directories(p / "run");
             std::ofstream(p / "run/nelq-client") << "x";
         },
         ""},
        {"without a runtime directory", "", nothing, "tmp/nelq-client-" + uid},
        {"a relative runtime directory is none", "relative", nothing, "tmp/nelq-client-" + uid},
    };
    if (::geteuid() == 0)
        cases.push_back({"someone else's", "run",
                         [](const fs::path& p) {
                             fs::create_directories(p / "run/nelq-client");
                             ::chmod((p / "run/nelq-client").c_str(), 0700);
                             ASSERT_EQ(::chown((p / "run/nelq-client").c_str(), 65534, 65534), 0);
                         },
                         ""});
    for (const Case& c : cases) {
        const fs::path root = Dir / c.What;
        fs::create_directories(root / "tmp");
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
        if (c.Runtime.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else if (c.Runtime == "relative")
            setenv("XDG_RUNTIME_DIR", "run", 1);
        else
            setenv("XDG_RUNTIME_DIR", (root / c.Runtime).c_str(), 1);
        if (!c.Runtime.empty())
            fs::create_directories(root / "run");
        c.Prepare(root);

        const std::string got = PrivateRuntimeDirectory();
        if (c.Expected.empty()) {
            EXPECT_EQ(got, "") << c.What;
            continue;
        }
        EXPECT_EQ(got, (root / c.Expected).string()) << c.What;
        EXPECT_EQ(ModeOf(got), mode_t(0700)) << c.What;
    }
}
