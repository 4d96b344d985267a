#include "playback/X11GameWindowFinder.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <vector>

namespace {

// The game's window may close between listing and asking; such an X error
// must not end the client.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

// One window property of 8-bit items, "" when missing or of another kind.
std::string TextProperty(Display* display, Window window, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && actualType == type && format == 8)
        text.assign(reinterpret_cast<const char*>(data), count);
    if (data != nullptr)
        XFree(data);
    return text;
}

bool IsGameWindow(Display* display, Window window) {
    const std::string title = GameWindowFinder::GameWindowTitle;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    return TextProperty(display, window, netName, utf8) == title ||
           TextProperty(display, window, XA_WM_NAME, XA_STRING) == title;
}

std::vector<Window> ClientList(Display* display, Window root) {
    const Atom clients = XInternAtom(display, "_NET_CLIENT_LIST", True);
    std::vector<Window> windows;
    if (clients == None)
        return windows;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, clients, 0, 65536, False, XA_WINDOW, &actualType, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && actualType == XA_WINDOW && format == 32) {
        const auto* ids = reinterpret_cast<const unsigned long*>(data);
        windows.assign(ids, ids + count);
    }
    if (data != nullptr)
        XFree(data);
    return windows;
}

std::vector<Window> RootChildren(Display* display, Window root) {
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> windows;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) != 0 &&
        children != nullptr)
        windows.assign(children, children + count);
    if (children != nullptr)
        XFree(children);
    return windows;
}

} // namespace

X11GameWindowFinder::X11GameWindowFinder(const std::string& displayName) {
    FDisplay = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
}

X11GameWindowFinder::~X11GameWindowFinder() {
    if (FDisplay != nullptr)
        XCloseDisplay(FDisplay);
}

bool X11GameWindowFinder::GameWindowExists() {
    if (FDisplay == nullptr)
        return false;
    const auto previousHandler = XSetErrorHandler(IgnoreXError);
    const Window root = DefaultRootWindow(FDisplay);
    std::vector<Window> windows = ClientList(FDisplay, root);
    if (windows.empty())
        windows = RootChildren(FDisplay, root);
    bool found = false;
    for (const Window window : windows)
        if (IsGameWindow(FDisplay, window)) {
            found = true;
            break;
        }
    // Errors of these requests arrive by now; the handler goes back for the
    // rest of the program.
    XSync(FDisplay, False);
    XSetErrorHandler(previousHandler);
    return found;
}

std::unique_ptr<GameWindowFinder> MakeGameWindowFinder() {
    return std::make_unique<X11GameWindowFinder>();
}
