#include "BuildTree.h"
#include "ChildProcess.h"
#include "ScratchDir.h"
#include "app/UnitNELQGlobal.h"

#include <cstdlib>

namespace {

struct TInfoCase {
    std::vector<std::string> Arguments;
    std::string FirstLine;
    std::vector<std::string> Mentions; // further texts the output must hold
};

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

// The real program answers without a display (a window would fail at once on
// "xcb" with none) and writes nothing of the user's.
TEST(ClientInfo, HelpAndVersionArePrintedWithoutADisplayOrAnyFileWritten) {
    ScratchDir dir;
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "NELQ_HOME"})
        setenv(name, (dir / name).c_str(), 1);

    const std::string version = "nelq-client " + ClientVersion();
    const std::string usage = "Usage: nelq-client [nelq://HOST/GAME/]";
    const std::vector<TInfoCase> cases = {
        {{"--version"}, version, {"\nCopyright (C) 2026 "}},
        {{"--version", "nelq://host/GAME/"}, version, {}},
        {{"--help"}, usage, {"ARCHIVE.qmx", "  --help ", "  --version ", "NELQ.ini", "NELQ_HOME"}},
        {{"--help", "--version"}, usage, {}},
    };
    for (const TInfoCase& c : cases) {
        std::vector<std::string> argv{ClientProgram()};
        argv.insert(argv.end(), c.Arguments.begin(), c.Arguments.end());
        TChildProcess client(argv, dir.Path.string(), dir / "client");
        const std::string label = c.Arguments[0] + " (" + std::to_string(c.Arguments.size()) + ")";
        EXPECT_EQ(client.Wait(std::chrono::seconds(60)), 0) << label;
        const std::string output = client.Output();
        EXPECT_EQ(FirstLine(output), c.FirstLine) << label;
        for (const std::string& text : c.Mentions)
            EXPECT_NE(output.find(text), std::string::npos) << label << ": " << text;
        EXPECT_EQ(client.Errors(), "") << label;
    }
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "NELQ_HOME"})
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;

    // Output that cannot be written is not reported as success.
    const std::string full = "'" + ClientProgram() + "' --version >/dev/full 2>/dev/null";
    const int status = std::system(full.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}
