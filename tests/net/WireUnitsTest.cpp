#include "net/NelqExceptions.h"
#include "net/WireUnits.h"

#include <gtest/gtest.h>

// The line rules both kinds of connection share: where a line ends, what of
// its end is kept, and when the bytes received show a line that is too long.
TEST(WireUnits, LinesAreFoundOrRefusedAsTheBytesArrive) {
    const std::string longest(Wire::MaxLineLength, 'a');
    struct TCase {
        std::string Pending;
        std::size_t Scanned;
        bool Found;
        std::string Line;
        std::size_t Next;
        bool TooLong;
    };
    const std::vector<TCase> cases{
        {"HI\r\nrest", 0, true, "HI", 4, false},
        {"HI\nrest", 0, true, "HI", 3, false},
        {"\r\n", 0, true, "", 2, false},
        {"A\rB\r\n", 0, true, "A\rB", 5, false}, // only the CR before the LF goes
        {"HI\r", 0, false, "", 0, false},
        {"AB\r\nC", 2, true, "AB", 4, false}, // scanned up to the CR before
        {longest + "\r\n", 0, true, longest, Wire::MaxLineLength + 2, false},
        {longest + "a\r\n", 0, false, "", 0, true},
        {longest + "\r", 0, false, "", 0, false}, // may still end here
        {longest + "ab", 0, false, "", 0, true},  // cannot any more
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Pending.substr(0, 12));
        if (test.TooLong) {
            EXPECT_THROW(Wire::ScanLine(test.Pending, test.Scanned), ENelqConnectionError);
            continue;
        }
        const Wire::TLineScan scan = Wire::ScanLine(test.Pending, test.Scanned);
        EXPECT_EQ(scan.Found, test.Found);
        EXPECT_EQ(scan.Line, test.Line);
        if (test.Found) {
            EXPECT_EQ(scan.Next, test.Next);
        }
    }
}

TEST(WireUnits, NumbersAreBigEndianAndBlockCountsAreCheckedFirst) {
    for (const std::int32_t value : {0, 1, -1, -2, 32768, 0x12345678, INT32_MIN, INT32_MAX})
        EXPECT_EQ(Wire::DecodeInt32(Wire::EncodeInt32(value).data()), value);
    EXPECT_EQ(std::string(Wire::EncodeInt32(0x01020304).data(), 4), "\x01\x02\x03\x04");
    std::string message;
    Wire::AppendInt32(message, -1);
    Wire::AppendLine(message, "OK");
    EXPECT_EQ(message, std::string("\xff\xff\xff\xffOK\r\n", 8));

    EXPECT_NO_THROW(Wire::CheckBlockCount(0, 0));
    EXPECT_NO_THROW(Wire::CheckBlockCount(Wire::MaxChunk, Wire::MaxChunk));
    EXPECT_THROW(Wire::CheckBlockCount(-1, Wire::MaxChunk), ENelqProtocolError);
    EXPECT_THROW(Wire::CheckBlockCount(Wire::MaxChunk + 1, Wire::MaxChunk), ENelqProtocolError);
}
