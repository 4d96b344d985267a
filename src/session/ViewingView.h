#pragma once

#include "session/RunEndings.h"

#include <string>
#include <vector>

// Where the download of the running section stands, as the "Viewing" page
// shows it.
struct TDownloadProgress {
    int Slot = 0;
    bool Audio = false; // the section's audio stream, otherwise its demo
    int ReceivedKB = 0;
    std::string BufferLabel;
    int BufferPercent = 0; // of the three sections buffered before playback
};

// What a viewing run shows. The window implements it over its pages; a run
// never reaches the window's fields.
class TViewingView {
public:
    virtual ~TViewingView() = default;

    // The "Connecting" page with an empty console.
    virtual void ShowConnecting() = 0;
    // A line on the "Connecting" page's console, bringing that page to the front.
    virtual void ShowStatus(const std::string& line) = 0;
    // The run has come to an end or stands still (see TEnding).
    virtual void ShowEnding(const TEnding& ending) = 0;
    // Where playback stands, on every page that shows a playing cast; empty
    // once nothing plays.
    virtual void ShowPlayback(const std::string& line) = 0;
    // The server wants the viewer to log in.
    virtual void ShowLogin() = 0;
    // The casts on the server to choose from; none at all is said so.
    virtual void ShowGames(const std::vector<std::string>& games) = 0;
    // The start points of the chosen cast (two or more), with their descriptions.
    virtual void ShowSectionPick(const std::vector<std::string>& sections) = 0;
    // The "Viewing" page.
    virtual void ShowViewing() = 0;
    virtual void ShowDownload(const TDownloadProgress& progress) = 0;
    virtual void ShowBufferLabel(const std::string& text) = 0;
    // Playback waits for data while set.
    virtual void ShowPaused(bool paused) = 0;
    // An error box, opened once the step under way has finished.
    virtual void ShowError(const std::string& message) = 0;
    // Offline: the "Offline Viewing" page and how many of the cast's sections
    // are replayed (counted from 1, as the lines of "completed.dat" after its header).
    virtual void ShowReplay(int replayed, int total) = 0;
};
