#include "playback/AudioLength.h"
#include "CastFixture.h"

#include <gtest/gtest.h>

namespace {

std::string ErrorOf(const std::string& path) {
    try {
        AudioLengthMs(path);
    } catch (const EAssemblyError& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(AudioLength, MeasuresOggVorbisFilesToTheMillisecond) {
    const TTempDir dir;
    for (const std::int32_t ms : {1000, 2500, 30000}) {
        const std::string path = dir / ("tone_" + std::to_string(ms) + ".ogg");
        WriteOggFile(path, ms);
        EXPECT_EQ(AudioLengthMs(path), ms);
    }
}

TEST(AudioLength, FilesThatAreNotOggVorbisCountNothingAndMissingOnesAreRefused) {
    const TTempDir dir;
    WriteBytes(dir / "text.ogg", "this is not audio at all\r\n");
    WriteBytes(dir / "empty.ogg", "");
    const std::string ogg = dir / "cut.ogg";
    WriteOggFile(ogg, 1000);
    WriteBytes(ogg, ReadBytes(ogg).substr(0, 40)); // inside the identification header

    for (const char* name : {"text.ogg", "empty.ogg", "cut.ogg"}) {
        EXPECT_EQ(AudioLengthMs(dir / name), 0) << name;
        EXPECT_FALSE(VorbisLengthMs(dir / name)) << name;
    }
    EXPECT_NE(ErrorOf(dir / "missing.ogg").find("Cannot open the section audio"),
              std::string::npos);
}
