#include "playback/X11GameWindowFinder.h"

// Xlib's macros (None, Bool) must come after the test framework's templates.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Top-level windows of another client, as the game would make them.
class WindowMaker {
public:
    WindowMaker() : FDisplay(XOpenDisplay(nullptr)) {}
    ~WindowMaker() {
        if (FDisplay != nullptr)
            XCloseDisplay(FDisplay);
    }
    bool Usable() const { return FDisplay != nullptr; }

    // A window whose WM_NAME and/or _NET_WM_NAME hold the title.
    Window Make(const char* wmName, const char* netWmName) {
        const int screen = DefaultScreen(FDisplay);
        const Window window =
            XCreateSimpleWindow(FDisplay, RootWindow(FDisplay, screen), 0, 0, 50, 50, 0, 0, 0);
        if (wmName != nullptr)
            XStoreName(FDisplay, window, wmName);
        if (netWmName != nullptr)
            XChangeProperty(FDisplay, window, XInternAtom(FDisplay, "_NET_WM_NAME", False),
                            XInternAtom(FDisplay, "UTF8_STRING", False), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(netWmName),
                            static_cast<int>(std::strlen(netWmName)));
        XMapWindow(FDisplay, window);
        XSync(FDisplay, False);
        return window;
    }
    void Destroy(Window window) {
        XDestroyWindow(FDisplay, window);
        XSync(FDisplay, False);
    }

private:
    Display* FDisplay;
};

class GameWindowFinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr || !Windows.Usable())
            GTEST_SKIP() << "no X display (source scripts/test-env start)";
    }
    WindowMaker Windows;
};

} // namespace

TEST_F(GameWindowFinderTest, FindsTheWindowByItsExactTitle) {
    X11GameWindowFinder finder;
    const Window other = Windows.Make("Tribes 2 Launcher", "Tribes 2 Launcher");
    const Window lower = Windows.Make("tribes 2", nullptr);
    EXPECT_FALSE(finder.GameWindowExists());

    const Window game = Windows.Make("Tribes 2", nullptr);
    EXPECT_TRUE(finder.GameWindowExists());
    Windows.Destroy(game);
    EXPECT_FALSE(finder.GameWindowExists());

    // A window that only carries the window manager's name counts too.
    const Window netOnly = Windows.Make(nullptr, "Tribes 2");
    EXPECT_TRUE(finder.GameWindowExists());
    Windows.Destroy(netOnly);
    Windows.Destroy(other);
    Windows.Destroy(lower);
    EXPECT_FALSE(finder.GameWindowExists());
}

TEST_F(GameWindowFinderTest, FollowsTheWindowManagersClientList) {
    // Only the listed clients are looked at when there is such a list.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window root = DefaultRootWindow(display);
    const Atom clients = XInternAtom(display, "_NET_CLIENT_LIST", False);
    const Window game = Windows.Make("Tribes 2", nullptr);
    const Window unnamed = Windows.Make(nullptr, nullptr);
    X11GameWindowFinder finder;

    unsigned long listed = unnamed;
    XChangeProperty(display, root, clients, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&listed), 1);
    XSync(display, False);
    EXPECT_FALSE(finder.GameWindowExists());

    unsigned long both[] = {unnamed, game};
    XChangeProperty(display, root, clients, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(both), 2);
    XSync(display, False);
    EXPECT_TRUE(finder.GameWindowExists());

    // A listed window that has gone in the meantime is no error.
    Windows.Destroy(game);
    EXPECT_FALSE(finder.GameWindowExists());

    XDeleteProperty(display, root, clients);
    XCloseDisplay(display);
    Windows.Destroy(unnamed);
}

TEST(GameWindowFinderNoDisplayTest, WithoutADisplayThereIsNoGame) {
    X11GameWindowFinder finder("unix:-1");
    EXPECT_FALSE(finder.GameWindowExists());
}
