#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A recording as the game writes it: created new (never over an existing
// one), held open for writing while the game plays, the duration patched into
// the header when the recording ends, then closed. Until Close the file is
// not final to anyone watching the directory.
class TRecordingFileWriter {
public:
    // Creates the first free "demo<k>.rec" (k from 1) in `directory`.
    explicit TRecordingFileWriter(const std::string& directory);
    ~TRecordingFileWriter();
    TRecordingFileWriter(const TRecordingFileWriter&) = delete;
    TRecordingFileWriter& operator=(const TRecordingFileWriter&) = delete;

    const std::string& Path() const { return FPath; }
    void Append(const std::uint8_t* data, std::size_t size);
    // Writes DurationMs into the header and closes the file.
    void Close(std::uint32_t durationMs);

private:
    std::string FPath;
    int FHandle = -1;
};
