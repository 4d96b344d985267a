#include "platform/FileFinality.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class FileFinality : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nelq-final-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
        Path = (Dir / "stream_0.ogg").string();
        std::ofstream(Path) << "data";
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }

    std::filesystem::path Dir;
    std::string Path;
};

TEST_F(FileFinality, ClosedFileIsFinalAndMissingOrDirectoryIsNot) {
    EXPECT_TRUE(IsFinal(Path));
    EXPECT_FALSE(IsFinal((Dir / "missing").string()));
    EXPECT_FALSE(IsFinal(Dir.string()));
}

TEST_F(FileFinality, OpenForWritingInThisProcessIsNotFinalButReadingIs) {
    {
        std::ofstream writer(Path, std::ios::app); // as our own encoder keeps its file
        EXPECT_FALSE(IsFinal(Path));
    }
    {
        std::fstream both(Path, std::ios::in | std::ios::out);
        EXPECT_FALSE(IsFinal(Path));
    }
    std::ifstream reader(Path);
    EXPECT_TRUE(IsFinal(Path));
}

TEST_F(FileFinality, OpenForWritingInAnotherProcessIsNotFinal) {
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls here.
        close(release[1]);
        const int fd = open(Path.c_str(), O_WRONLY | O_APPEND);
        char byte = fd >= 0 ? '1' : '0';
        (void)!write(ready[1], &byte, 1);
        (void)!read(release[0], &byte, 1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, '1');
    EXPECT_FALSE(IsFinal(Path));
    close(release[1]); // the child's read returns, and it exits
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(IsFinal(Path));
    for (int fd : {ready[0], ready[1], release[0]})
        close(fd);
}

TEST_F(FileFinality, LockedFileIsNotFinal) {
    const int fd = open(Path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    EXPECT_FALSE(IsFinal(Path));
    flock(fd, LOCK_UN);
    EXPECT_TRUE(IsFinal(Path));
    close(fd);
}

} // namespace
