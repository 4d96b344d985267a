#include "SectionList.h"
#include "CastFixture.h"
#include "ServerHarness.h"

#include "demo/UnitDemoPart.h"
#include "playback/CastTimeText.h"

#include <gtest/gtest.h>

namespace {

constexpr int NotVorbis = 0; // audio part of random bytes
constexpr int NotEnded = -1; // audio part still on its way

struct TListedSection {
    enum { StartPoint, Body, Fake } Kind;
    int AudioMs; // > 0: Ogg Vorbis of that length; or NotVorbis, NotEnded
    const char* Info = "\"Time Remaining\",Map,20:00,Katabatic";
};

struct TListCase {
    const char* Name;
    std::vector<TListedSection> Sections;
    std::vector<std::string> Lines;
};

// Stores a section in the cast as a filmer's upload leaves it.
void Store(TCast& cast, const TTempDir& work, std::int32_t section, const TListedSection& listed) {
    TSectionParts parts = MakeSection(section, listed.Kind == TListedSection::Fake,
                                      listed.Kind == TListedSection::StartPoint);
    if (!parts.Demo.empty())
        parts.Demo.replace(DemoPartInfoOffset, DemoPartInfoSize, MakeInfoField(listed.Info));
    if (listed.AudioMs > 0) {
        const std::string ogg = work / ("audio_" + std::to_string(section) + ".ogg");
        WriteOggFile(ogg, listed.AudioMs);
        parts.Audio = ReadBytes(ogg);
    }
    const std::array<const std::string*, 2> bytes{&parts.Demo, &parts.Audio};
    std::array<TPartState, 2> announce;
    for (int p = 0; p < 2; ++p) {
        announce[p].Kind = p;
        announce[p].Size = static_cast<std::int32_t>(bytes[p]->size());
    }
    announce[0].BodyOffset = parts.BodyOffset;
    cast.Announce(section, announce);
    for (int p = 0; p < 2; ++p) {
        cast.OpenPart(section, p) << *bytes[p];
        cast.Received(section, p, announce[p].Size);
        if (p == 0 || listed.AudioMs != NotEnded)
            cast.EndPart(section, p);
    }
}

} // namespace

TEST(SectionList, StartPointsCarryTheCastTimeAtWhichTheyBeginWhenItIsKnown) {
    using S = TListedSection;
    const char* const firstLine = "0,\"Time Remaining\",Map,\"Cast Time\",20:00,Katabatic,";
    const std::vector<TListCase> cases{
        {"the audio of every earlier section adds up, fake and body sections too",
         {{S::StartPoint, 1000},
          {S::Body, 1500},
          {S::Fake, 2000},
          {S::StartPoint, 700},
          {S::Body, 900},
          {S::StartPoint, 1000}},
         {std::string(firstLine) + "0:00",
          "3,\"Time Remaining\",Map,\"Cast Time\",20:00,Katabatic,0:04",
          "5,\"Time Remaining\",Map,\"Cast Time\",20:00,Katabatic,0:06"}},
        {"audio that is not Ogg Vorbis leaves every later start unknown",
         {{S::StartPoint, 1000},
          {S::Body, NotVorbis},
          {S::StartPoint, 1000},
          {S::StartPoint, 1000}},
         {std::string(firstLine) + "0:00", "2,\"Time Remaining\",Map,20:00,Katabatic",
          "3,\"Time Remaining\",Map,20:00,Katabatic"}},
        {"the newest section, still uploading, starts after the ended ones",
         {{S::StartPoint, 2000}, {S::StartPoint, NotEnded}},
         {std::string(firstLine) + "0:00",
          "1,\"Time Remaining\",Map,\"Cast Time\",20:00,Katabatic,0:02"}},
        {"further pairs and quoted items keep their places",
         {{S::StartPoint, 1000, "Map,Players,\"say \"\"hi\"\", then\",Frozen,12,x"}},
         {"0,Map,Players,\"say \"\"hi\"\", then\",\"Cast Time\",Frozen,12,x,0:00"}},
        {"a Cast Time pair of the filmer's is replaced",
         {{S::StartPoint, 1000},
          {S::StartPoint, NotVorbis, "Map,\"Cast Time\",Frozen,9:99"},
          {S::StartPoint, 1000, "\"Cast Time\",Map,9:99,Frozen"}},
         {std::string(firstLine) + "0:00", "1,Map,\"Cast Time\",Frozen,0:01", "2,Map,Frozen"}},
        {"an info text that is not name/value pairs is left as it came",
         {{S::StartPoint, 1000, ""},
          {S::StartPoint, 1000, "Time Remaining,Map,20:00,Katabatic"},
          {S::StartPoint, 1000, "\"Cast Time\""},
          {S::StartPoint, 1000, "Map,Frozen,"},
          {S::StartPoint, 1000, "\"unterminated,Map"}},
         {"0,", "1,Time Remaining,Map,20:00,Katabatic", "2,\"Cast Time\"", "3,Map,Frozen,",
          "4,\"unterminated,Map"}},
    };
    for (const TListCase& listCase : cases) {
        SCOPED_TRACE(listCase.Name);
        const TTempDir work;
        TCast cast("Listed", work / "cast");
        std::filesystem::create_directories(cast.Directory);
        for (std::size_t n = 0; n < listCase.Sections.size(); ++n)
            Store(cast, work, static_cast<std::int32_t>(n), listCase.Sections[n]);
        EXPECT_EQ(SectionListLines(cast), listCase.Lines);
        // The lengths are remembered, not read again: the files may go.
        for (std::size_t n = 0; n + 1 < listCase.Sections.size(); ++n)
            std::filesystem::remove(cast.PartPath(static_cast<std::int32_t>(n), 1));
        EXPECT_EQ(SectionListLines(cast), listCase.Lines);
    }
}

TEST(SectionList, CastTimesReadAsMinutesAndSecondsThenHours) {
    const std::vector<std::pair<std::int64_t, std::string>> cases{
        {0, "0:00"},          {999, "0:00"},
        {1000, "0:01"},       {192000, "3:12"},
        {3599999, "59:59"},   {3600000, "1:00:00"},
        {3725000, "1:02:05"}, {36000000 * 10, "100:00:00"},
        {-5000, "0:00"}};
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(FormatCastTime(ms), text) << ms;
}
