#include "BuildTree.h"
#include "FuzzTargets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

fs::path Regressions() {
    return BuildTreePath("fuzz/regressions");
}

} // namespace

// A finding's input, saved under the folder of its target, must pass
// through the entry point without a sanitizer report or a broken rule (both
// abort the program, which fails the test).
TEST(FuzzRegressions, EveryFindingPassesItsEntryPoint) {
    int inputs = 0;
    for (const TFuzzTarget& target : FuzzTargets()) {
        const fs::path folder = Regressions() / target.Name;
        if (!fs::is_directory(folder))
            continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
            target.Entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 0) << "no findings were copied into the build tree";
}

// A folder that names no target of this build would be skipped without a word.
TEST(FuzzRegressions, EveryFolderNamesATarget) {
    for (const auto& entry : fs::directory_iterator(Regressions())) {
        const std::string name = entry.path().filename().string();
        const bool known = std::any_of(FuzzTargets().begin(), FuzzTargets().end(),
                                       [&](const TFuzzTarget& target) { return target.Name == name; });
        EXPECT_TRUE(known || name == "settings") << name << " is no fuzz target";
    }
}
