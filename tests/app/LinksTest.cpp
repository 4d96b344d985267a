#include "ScratchDir.h"
#include "app/UnitLinkProtocol.h"
#include "app/UnitLinks.h"

#include <cstdlib>
#include <optional>

using Args = std::vector<std::string>;

namespace {

CommandLineRequest Parse(const Args& arguments) {
    return ParseCommandLine(arguments);
}

} // namespace

TEST(Links, ALinkNamesTheHostAsWrittenAndTheGameWithItsEscapesDecoded) {
    CommandLineRequest r = Parse({"nelq://host/CTF", "FINAL/"});
    EXPECT_EQ(r.LinkHost, "host");
    EXPECT_EQ(r.LinkGame, "CTF FINAL");
    EXPECT_EQ(r.PendingArchive, "");

    r = Parse({"nelq://host:28100/match"});
    EXPECT_EQ(r.LinkHost, "host:28100");
    EXPECT_EQ(r.LinkGame, "MATCH");

    r = Parse({"NELQ://Cast.Example.org/game/ignored/too"}); // the scheme's case does not matter
    EXPECT_EQ(r.LinkHost, "Cast.Example.org");
    EXPECT_EQ(r.LinkGame, "GAME");

    r = Parse({"nelq://host"}); // no third slash: no game
    EXPECT_EQ(r.LinkHost, "host");
    EXPECT_EQ(r.LinkGame, "");

    // As a web page writes a link: the game percent-encoded, the host never
    // decoded; an escape that is malformed or makes a control character is
    // kept as written.
    const struct {
        const char* Link;
        const char* Host;
        const char* Game;
    } written[] = {
        {"nelq://host/ctf%20final/", "host", "CTF FINAL"},
        {"nelq://h%41st/100%25%20fun/", "h%41st", "100% FUN"},
        {"nelq://host/caf%C3%A9%20bar/", "host", "CAF\xC3\xA9 BAR"},
        {"nelq://host/50%/", "host", "50%"},
        {"nelq://host/a%2g/", "host", "A%2G"},
        {"nelq://host/a%00b%0A/", "host", "A%00B%0A"},
    };
    for (const auto& link : written) {
        SCOPED_TRACE(link.Link);
        r = Parse({link.Link});
        EXPECT_EQ(r.LinkHost, link.Host);
        EXPECT_EQ(r.LinkGame, link.Game);
    }
}

TEST(Links, ALinkWithoutAHostAndOtherArgumentsAskForNothing) {
    for (const Args& args : {Args{"nelq:///GAME/"}, Args{"nelq:"}, Args{}, Args{"--help"},
                             Args{"http://host/GAME/"}, Args{"nelq"}}) {
        const CommandLineRequest r = Parse(args);
        EXPECT_EQ(r.LinkHost + r.LinkGame + r.PendingArchive, "") << args.size();
    }
}

TEST(Links, AnExistingQmxArchiveIsOpenedAndItsSpacedPathRebuilt) {
    ScratchDir dir;
    const std::string archive = dir / "my cast  final.QMX";
    WriteAll(archive, "PK");
    // Given unquoted, the path arrives in pieces; the pieces are joined with single spaces.
    const std::string spaced = dir / "my cast final.QMX";
    WriteAll(spaced, "PK");
    EXPECT_EQ(Parse({(dir / "my"), "cast", "final.QMX"}).PendingArchive, spaced);
    EXPECT_EQ(Parse({archive}).PendingArchive, archive);

    EXPECT_EQ(Parse({dir / "missing.qmx"}).PendingArchive, "");
    WriteAll(dir / "cast.zip", "PK");
    EXPECT_EQ(Parse({dir / "cast.zip"}).PendingArchive, "");
    std::filesystem::create_directories(dir / "folder.qmx");
    EXPECT_EQ(Parse({dir / "folder.qmx"}).PendingArchive, "");
}

// Desktops may hand a file to the "%u" of the desktop entry as a URL.
TEST(Links, AnArchiveGivenAsALocalFileUrlIsOpened) {
    ScratchDir dir;
    const std::string archive = dir / "100% cast.qmx";
    WriteAll(archive, "PK");
    const std::string escaped = dir / "100%25%20cast.qmx";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"file://" + escaped, archive},
        {"FILE://localhost" + escaped, archive},
        {"file://" + archive, ""}, // "% c" is no escape
        {"file://otherhost" + escaped, ""},
        {"file://" + dir / "missing.qmx", ""},
        {"file:///", ""},
        {"file://", ""},
        {"file://" + escaped.substr(0, escaped.size() - 1) + "%", ""},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(Parse({url}).PendingArchive, expected) << url;
}

TEST(Links, TheLinkedGameIsFoundIgnoringLetterCase) {
    const Args games{"DUEL", "Ctf Final", "CTF FINAL 2"};
    EXPECT_EQ(LinkGameIndex(games, "CTF FINAL"), 1);
    EXPECT_EQ(LinkGameIndex(games, "DUEL"), 0);
    EXPECT_EQ(LinkGameIndex(games, "MATCH"), -1);
    EXPECT_EQ(LinkGameIndex(games, ""), -1);
    EXPECT_EQ(LinkGameIndex({}, "DUEL"), -1);
}

namespace {

// A private desktop: xdg-mime reads and writes only under the scratch directory.
class PrivateDesktop {
public:
    explicit PrivateDesktop(const ScratchDir& dir) : Dir(dir) {
        Saved = {{"XDG_DATA_HOME", Get("XDG_DATA_HOME")},
                 {"XDG_CONFIG_HOME", Get("XDG_CONFIG_HOME")},
                 {"XDG_CURRENT_DESKTOP", Get("XDG_CURRENT_DESKTOP")},
                 {"DESKTOP_SESSION", Get("DESKTOP_SESSION")},
                 {"XDG_DATA_DIRS", Get("XDG_DATA_DIRS")},
                 {"XDG_CONFIG_DIRS", Get("XDG_CONFIG_DIRS")},
                 {"PATH", Get("PATH")}};
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        // The system's own directories too: a package installed on this
        // machine would otherwise be the handler found.
        setenv("XDG_DATA_DIRS", (dir / "system-data").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir / "system-config").c_str(), 1);
        unsetenv("XDG_CURRENT_DESKTOP");
        unsetenv("DESKTOP_SESSION");
    }
    ~PrivateDesktop() {
        for (const auto& [name, value] : Saved)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }

    std::string Entry() const {
        return ReadAll(Dir / ("data/applications/" + std::string(LinkHandlerEntry)));
    }
    std::string Defaults() const { return ReadAll(Dir / "config/mimeapps.list"); }

private:
    static std::optional<std::string> Get(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }

    const ScratchDir& Dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
};

bool HaveXdgMime() {
    return std::system("command -v xdg-mime >/dev/null 2>&1") == 0;
}

} // namespace

TEST(LinkProtocol, TheHandlerIsRegisteredOnceAndNeverChanged) {
    ASSERT_TRUE(HaveXdgMime()) << "xdg-mime (package xdg-utils) is needed";
    ScratchDir dir;
    PrivateDesktop desktop(dir);

    RegisterLinkProtocol("/opt/NELQ Client/nelq-client");
    const std::string entry = desktop.Entry();
    EXPECT_NE(entry.find("MimeType=x-scheme-handler/nelq;application/x-nelq-cast;\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("Exec=\"/opt/NELQ Client/nelq-client\" %u\n"), std::string::npos) << entry;
    for (const char* type : {"x-scheme-handler/nelq", "application/x-nelq-cast"})
        EXPECT_NE(desktop.Defaults().find(type + std::string("=nelq-client.desktop")),
                  std::string::npos)
            << desktop.Defaults();
    // The desktop learns what a ".qmx" is (the type's own file in the
    // user's database, made from the definition the package installs).
    EXPECT_TRUE(std::filesystem::exists(dir / "data/mime/application/x-nelq-cast.xml"));
    EXPECT_NE(ReadAll(dir / "data/mime/packages/nelq-client.xml").find("<glob pattern=\"*.qmx\"/>"),
              std::string::npos);

    // Another copy of the client leaves the registration as it is.
    const std::string defaults = desktop.Defaults();
    RegisterLinkProtocol("/elsewhere/nelq-client");
    EXPECT_EQ(desktop.Entry(), entry);
    EXPECT_EQ(desktop.Defaults(), defaults);
}

TEST(LinkProtocol, AnotherProgramsRegistrationIsLeftAlone) {
    ASSERT_TRUE(HaveXdgMime()) << "xdg-mime (package xdg-utils) is needed";
    ScratchDir dir;
    PrivateDesktop desktop(dir);
    const std::string defaults = "[Default Applications]\nx-scheme-handler/nelq=other.desktop\n";
    WriteAll(dir / "config/mimeapps.list", defaults);
    WriteAll(dir / "data/applications/other.desktop",
             "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/other %u\n"
             "MimeType=x-scheme-handler/nelq;\n");

    RegisterLinkProtocol("/opt/nelq/nelq-client");
    EXPECT_FALSE(std::filesystem::exists(dir / "data/applications/nelq-client.desktop"));
    EXPECT_EQ(desktop.Defaults(), defaults);
}

// Links are registered, but cast archives stay with what opens them, and a
// system that defines their type keeps its definition.
TEST(LinkProtocol, TheCastTypeIsLeftToWhatAlreadyOpensOrDefinesIt) {
    ASSERT_TRUE(HaveXdgMime()) << "xdg-mime (package xdg-utils) is needed";
    const struct {
        const char* Name;
        bool UserOpensArchivesElsewhere;
        bool SystemDefinesType;
    } cases[] = {{"another program opens archives", true, false},
                 {"the system defines the type", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScratchDir dir;
        PrivateDesktop desktop(dir);
        if (c.UserOpensArchivesElsewhere) {
            WriteAll(dir / "config/mimeapps.list",
                     "[Default Applications]\napplication/x-nelq-cast=other.desktop\n");
            WriteAll(dir / "data/applications/other.desktop",
                     "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/other %f\n"
                     "MimeType=application/x-nelq-cast;\n");
        }
        if (c.SystemDefinesType)
            WriteAll(dir / "system-data/mime/packages/nelq-client.xml", "<mime-info/>\n");

        RegisterLinkProtocol("/opt/nelq/nelq-client");
        const std::string defaults = desktop.Defaults();
        EXPECT_NE(defaults.find("x-scheme-handler/nelq=nelq-client.desktop"), std::string::npos)
            << defaults;
        EXPECT_EQ(defaults.find("application/x-nelq-cast=nelq-client.desktop") ==
                      std::string::npos,
                  c.UserOpensArchivesElsewhere)
            << defaults;
        EXPECT_FALSE(std::filesystem::exists(dir / "data/mime/packages/nelq-client.xml"));
    }
}

TEST(LinkProtocol, APackagesHandlerIsLeftAlone) {
    ASSERT_TRUE(HaveXdgMime()) << "xdg-mime (package xdg-utils) is needed";
    ScratchDir dir;
    PrivateDesktop desktop(dir);
    // As a package installs it: no user's choice, only the system's cache.
    WriteAll(dir / "system-data/applications/nelq-client.desktop",
             "[Desktop Entry]\nType=Application\nName=NELQ Client\nExec=/usr/bin/nelq-client %u\n"
             "MimeType=x-scheme-handler/nelq;\n");
    WriteAll(dir / "system-data/applications/mimeinfo.cache",
             "[MIME Cache]\nx-scheme-handler/nelq=nelq-client.desktop;\n");

    RegisterLinkProtocol("/home/user/nelq/build/src/app/nelq-client");
    EXPECT_FALSE(std::filesystem::exists(dir / "data/applications/nelq-client.desktop"));
    EXPECT_FALSE(std::filesystem::exists(dir / "config/mimeapps.list"));
}

TEST(LinkProtocol, PathsAreQuotedForTheExecLineAndUnsafeOnesSkipped) {
    ASSERT_TRUE(HaveXdgMime()) << "xdg-mime (package xdg-utils) is needed";
    ScratchDir dir;
    {
        PrivateDesktop desktop(dir);
        RegisterLinkProtocol("/opt/100%\\\"$`/nelq-client");
        EXPECT_NE(desktop.Entry().find(R"(Exec="/opt/100%%\\\\\\"\\$\\`/nelq-client" %u)"),
                  std::string::npos)
            << desktop.Entry();
    }
    ScratchDir other;
    PrivateDesktop desktop(other);
    RegisterLinkProtocol("/opt/new\nline/nelq-client");
    EXPECT_FALSE(std::filesystem::exists(other / "data/applications"));
}

TEST(LinkProtocol, WithoutXdgMimeNothingIsWrittenAndNothingReported) {
    ScratchDir dir;
    PrivateDesktop desktop(dir);
    std::filesystem::create_directories(dir / "nothing");
    setenv("PATH", (dir / "nothing").c_str(), 1);
    RegisterLinkProtocol("/opt/nelq/nelq-client");
    EXPECT_FALSE(std::filesystem::exists(dir / "data"));
    EXPECT_FALSE(std::filesystem::exists(dir / "config"));
}
