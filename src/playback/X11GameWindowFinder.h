#pragma once

#include "playback/GameWindowFinder.h"

#include <string>

typedef struct _XDisplay Display;

// Looks through the window manager's client list (_NET_CLIENT_LIST) or, with
// no window manager, the root window's children, comparing _NET_WM_NAME and
// WM_NAME. Without a display no game window can exist.
class X11GameWindowFinder : public GameWindowFinder {
public:
    // An empty name means the DISPLAY of the environment.
    explicit X11GameWindowFinder(const std::string& displayName = "");
    ~X11GameWindowFinder() override;
    X11GameWindowFinder(const X11GameWindowFinder&) = delete;
    X11GameWindowFinder& operator=(const X11GameWindowFinder&) = delete;

    bool GameWindowExists() override;

private:
    Display* FDisplay = nullptr;
};
