#include "OperatorConsole.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A console on a pipe, with what it was told kept.
class ConsoleOnPipe : public ::testing::Test {
protected:
    ConsoleOnPipe() { EXPECT_EQ(::pipe(Ends), 0); }
    ~ConsoleOnPipe() override {
        Console.reset();
        CloseInput();
        ::close(Ends[0]);
    }

    void Start(const std::string& quitWord = "quit") {
        Console = std::make_unique<TOperatorConsole>(Ends[0], [this, quitWord](const auto& line) {
            std::lock_guard guard(Lock);
            Lines.push_back(line);
            return line != quitWord;
        });
    }
    void Type(const std::string& text) {
        EXPECT_EQ(::write(Ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void CloseInput() {
        if (Ends[1] >= 0)
            ::close(Ends[1]);
        Ends[1] = -1;
    }
    std::vector<std::string> Told() {
        std::lock_guard guard(Lock);
        return Lines;
    }
    bool WaitForLines(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (Told().size() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return Told().size() >= count;
    }

    int Ends[2] = {-1, -1};
    std::unique_ptr<TOperatorConsole> Console;
    std::mutex Lock;
    std::vector<std::string> Lines; // guarded by Lock
};

} // namespace

TEST_F(ConsoleOnPipe, LinesArriveWholeInOrderAndOverLongOnesAreDropped) {
    Start();
    Type("list\r\ndel");
    Type("ete Game One\n");
    Type(std::string(TOperatorConsole::MaxLineLength + 10, 'x') + "\n\nlist\n");
    ASSERT_TRUE(WaitForLines(4));
    EXPECT_EQ(Told(), (std::vector<std::string>{"list", "delete Game One", "", "list"}));
}

TEST_F(ConsoleOnPipe, StopEndsTheReaderWhileTheInputStaysOpenAndNothingRunsAfterwards) {
    Start();
    Type("list\n");
    ASSERT_TRUE(WaitForLines(1));
    Console->Stop(); // the reader waits in a read: Stop must not hang
    EXPECT_EQ(Told().size(), 1u);
}

TEST_F(ConsoleOnPipe, TheEndOfInputOrAQuitEndsTheReaderByItself) {
    Start();
    Type("list\nquit\nlist\n");
    ASSERT_TRUE(WaitForLines(2));
    Console->Stop();
    EXPECT_EQ(Told(), (std::vector<std::string>{"list", "quit"}));

    Lines.clear();
    Start();
    Type("list\ndelete G");
    CloseInput(); // the last line needs no line end
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(Told(), (std::vector<std::string>{"list", "delete G"}));
}
