#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct TFilmingRunSettings {
    std::string Host; // where the client films to (port 28200)
    int AudioIndex = 0;
    int Minutes = 10; // recordings of 60 s, one after another
    std::int32_t Rate = 20000;
    std::filesystem::path Directory; // the run's own: recordings, work files, logs
    std::string StandinPath;
    std::string GameName = "BENCH";
    // Runs on the event loop a few times a second while the run lasts.
    std::function<void()> EveryTick;
};

struct TClientFigures {
    // This process from the start of filming to the end of the upload.
    double CpuSeconds = 0;
    double WallSeconds = 0;
    long PeakRssKb = 0; // of the filming run alone where the system can reset the peak
    bool PeakIsRunOnly = false;

    double StandinCpuSeconds = 0;
    std::vector<std::int64_t> RecordingsFinalNs; // steady clock, as the stand-in printed them
    bool Completed = false;                      // "Stream upload Complete"
    std::vector<std::string> StatusLines;
};

// Films with the client's film mode controller, its capture, encoder and upload
// thread in this process: the game stand-in records `Minutes` recordings, then
// "Stop Recording" is pressed and the run waits for the upload to complete.
TClientFigures FilmWithTheClient(const TFilmingRunSettings& settings);
