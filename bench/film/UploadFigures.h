#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the counting relay saw of one filming run.
struct TRelayLog {
    struct TData {
        std::int64_t TimeNs;
        std::int64_t Payload;
        std::int64_t Wire;
    };
    struct TAnnounce {
        std::int64_t TimeNs;
        std::int32_t Section;
        std::int32_t DemoSize;
        std::int32_t AudioSize;
    };
    std::vector<TData> Data;
    std::vector<TAnnounce> Announces;
};

TRelayLog ReadRelayLog(const std::string& path);

struct TUploadFigures {
    // Per one-second window, counted from the first byte of block data.
    std::int64_t MaxWindowPayload = 0;
    std::int64_t MaxWindowWire = 0;
    int Windows = 0;
    int WindowsOverBudget = 0; // windows whose block data exceeds the rate

    // While a section had more data than its pass took: block data per second
    // from a section's first pass of data to its last.
    double WaitingRate = 0;
    double WaitingSeconds = 0;
    double ShortestPassGapMs = 0; // between two passes of block data

    int RealSections = 0;
    int FakeSections = 0;
    std::int64_t DemoBytes = 0;
    std::int64_t AudioBytes = 0;

    // From a recording's becoming final to the announcement of its section,
    // the n-th real section standing for the n-th recording.
    std::vector<double> AnnounceDelaysMs;
};

TUploadFigures AnalyseUpload(const TRelayLog& log, std::int32_t rate,
                             const std::vector<std::int64_t>& recordingsFinalNs);
