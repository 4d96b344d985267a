#pragma once

#include <memory>
#include <stdexcept>
#include <string>

// The game's top-level window, titled exactly "Tribes 2" (WM_NAME and
// _NET_WM_NAME under X; under Wine the window's own title, which Wine passes
// on), which is how the client finds a running game. It shows the
// demo clock and the status text; closing it or pressing Escape ends the demo.
class ENoDisplay : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TGameWindow {
public:
    static constexpr const char* Title = "Tribes 2";

    // Throws ENoDisplay when no display can be opened.
    TGameWindow();
    ~TGameWindow();
    TGameWindow(const TGameWindow&) = delete;
    TGameWindow& operator=(const TGameWindow&) = delete;

    // Handles the events that have arrived; false once the user has closed
    // the window or pressed Escape.
    bool HandleEvents();
    // Waits up to `milliseconds` for an event.
    void WaitForEvents(int milliseconds);
    void Show(const std::string& text);

private:
    void Draw();

    struct TSystem;
    std::unique_ptr<TSystem> FX;
    std::string FText;
};
