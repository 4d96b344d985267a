#include "CommaLocale.h"
#include "ScratchDir.h"
#include "app/UnitClientPrefs.h"

#include <cstdio>

namespace {

const std::string FourLines = "$pref::Video::fullScreen = \"0\";\r\n"
                              "$pref::Video::resolution = \"800 600 32\";\r\n"
                              "$pref::Audio::masterVolume = \"0.70\";\r\n"
                              "$pref::Audio::musicEnabled = \"0\";\r\n";

TribesDisplayPrefs Choices(bool windowed, const std::string& mode, int volume) {
    TribesDisplayPrefs prefs;
    prefs.Windowed = windowed;
    prefs.VideoMode = mode;
    prefs.Volume = volume;
    return prefs;
}

} // namespace

TEST(ClientPrefs, QuotedValueIsTheTextBetweenTheFirstTwoQuotes) {
    EXPECT_EQ(QuotedValue("$pref::Video::resolution = \"800 600 32\";"), "800 600 32");
    EXPECT_EQ(QuotedValue("a = \"open to the end"), "open to the end");
    EXPECT_EQ(QuotedValue("a = \"\";"), "");
    EXPECT_EQ(QuotedValue("no quotes at all"), "");
}

TEST(ClientPrefs, WithoutAnyPreferenceFileExactlyTheFourLinesAreWrittenWithAPoint) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    // Volume 7 is 0.70 even where the locale writes 0,70.
    ASSERT_TRUE(UseGermanCLocale(dir)) << "localedef (package locales) is needed";
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", 0.7);
    ASSERT_STREQ(text, "0,70");

    WriteClientPrefs(game, Choices(true, "800 600 32", 7));
    LeaveGermanCLocale();
    EXPECT_EQ(ReadAll(game + "NELQ/prefs/ClientPrefs.cs"), FourLines);
}

TEST(ClientPrefs, ThePlayersPreferencesAreTheTemplateAndTheModsOwnWinsOverThem) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    WriteAll(game + "base/prefs/ClientPrefs.cs",
             "$pref::Player::Name = \"Viewer\";\r\n"
             "$pref::Video::fullScreen = \"0\";\n"
             "$pref::Video::resolutionWide = \"1\";\n" // counts as a resolution line
             "$pref::Audio::masterVolume = \"0.3\";\n"
             "$pref::Audio::musicEnabled = \"1\";\n"
             "$pref::Audio::musicVolume = \"0.8\";\n"
             "$pref::Video::fullScreenMode = \"1\";\n"); // so does this
    WriteClientPrefs(game, Choices(false, "1024 768 16", 10));
    EXPECT_EQ(ReadAll(game + "NELQ/prefs/ClientPrefs.cs"),
              "$pref::Player::Name = \"Viewer\";\r\n"
              "$pref::Audio::musicVolume = \"0.8\";\r\n"
              "$pref::Video::fullScreen = \"1\";\r\n"
              "$pref::Video::resolution = \"1024 768 16\";\r\n"
              "$pref::Audio::masterVolume = \"1.00\";\r\n"
              "$pref::Audio::musicEnabled = \"0\";\r\n");

    // Now the mod has its own file: it is the template, the player's is not read.
    WriteAll(game + "base/prefs/ClientPrefs.cs", "$pref::Player::Name = \"Other\";\n");
    WriteClientPrefs(game, Choices(true, "800 600 32", 7));
    EXPECT_EQ(ReadAll(game + "NELQ/prefs/ClientPrefs.cs"),
              "$pref::Player::Name = \"Viewer\";\r\n"
              "$pref::Audio::musicVolume = \"0.8\";\r\n" +
                  FourLines);
}

TEST(ClientPrefs, ReadingTakesTheChoicesALaterLineWinning) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    TribesDisplayPrefs prefs = Choices(true, "800 600 16", 4);
    EXPECT_FALSE(ReadClientPrefs(game, prefs)); // no file: nothing changes
    EXPECT_TRUE(prefs.Windowed);
    EXPECT_EQ(prefs.VideoMode, "800 600 16");
    EXPECT_EQ(prefs.Volume, 4);

    WriteAll(game + "base/prefs/ClientPrefs.cs", "$pref::Video::fullScreen = \"1\";\r\n"
                                                 "$pref::Video::resolution = \"640 480 32\";\r\n"
                                                 "$pref::Audio::masterVolume = \"0.25\";\r\n");
    EXPECT_TRUE(ReadClientPrefs(game, prefs));
    EXPECT_FALSE(prefs.Windowed);
    EXPECT_EQ(prefs.VideoMode, "640 480 32");
    EXPECT_EQ(prefs.Volume, 2); // 2.5 rounds to even

    WriteAll(game + "NELQ/prefs/ClientPrefs.cs", "$pref::Video::fullScreen = \"0\";\n"
                                                 "$pref::Video::resolutionX = \"1152 864 32\";\n"
                                                 "$pref::Audio::masterVolume = \"0.35\";\n"
                                                 "$pref::Video::resolution = \"1280 1024 32\";\n");
    EXPECT_TRUE(ReadClientPrefs(game, prefs));
    EXPECT_TRUE(prefs.Windowed);
    EXPECT_EQ(prefs.VideoMode, "640 480 16"); // not a mode of the list: the first
    EXPECT_EQ(prefs.Volume, 4);               // 3.5 rounds to even
}

TEST(ClientPrefs, AVolumeThatIsNotAUsableNumberReadsAsFull) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    const auto volumeFor = [&](const std::string& value) {
        WriteAll(game + "NELQ/prefs/ClientPrefs.cs",
                 "$pref::Audio::masterVolume = \"" + value + "\";\n");
        TribesDisplayPrefs prefs = Choices(false, "640 480 16", 3);
        ReadClientPrefs(game, prefs);
        return prefs.Volume;
    };
    EXPECT_EQ(volumeFor("loud"), 10);
    EXPECT_EQ(volumeFor(""), 10);
    EXPECT_EQ(volumeFor("0,5"), 10);
    EXPECT_EQ(volumeFor("nan"), 10);
    EXPECT_EQ(volumeFor("0.66"), 7);
    EXPECT_EQ(volumeFor("1e300"), 10); // held to the slider's range
    EXPECT_EQ(volumeFor("-3"), 0);
}

TEST(ClientPrefs, AFailedWriteIsReportedAndKeepsTheOldFile) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    WriteAll(game + "NELQ/prefs/ClientPrefs.cs", "$pref::Player::Name = \"Viewer\";\n");
    // A directory in the way of the temporary file makes the write fail.
    std::filesystem::create_directories(game + "NELQ/prefs/ClientPrefs.cs.partial/x");
    EXPECT_THROW(WriteClientPrefs(game, Choices(true, "640 480 16", 5)), std::runtime_error);
    EXPECT_EQ(ReadAll(game + "NELQ/prefs/ClientPrefs.cs"), "$pref::Player::Name = \"Viewer\";\n");
}
