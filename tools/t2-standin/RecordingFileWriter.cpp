#include "RecordingFileWriter.h"

#include "demo/UnitRecording.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace {

std::runtime_error FileError(const std::string& what, const std::string& path) {
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

} // namespace

TRecordingFileWriter::TRecordingFileWriter(const std::string& directory) {
    for (int k = 1;; ++k) {
        FPath = (std::filesystem::path(directory) / ("demo" + std::to_string(k) + ".rec")).string();
        FHandle = open(FPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (FHandle >= 0)
            return;
        if (errno != EEXIST)
            throw FileError("cannot create", FPath);
    }
}

TRecordingFileWriter::~TRecordingFileWriter() {
    if (FHandle >= 0)
        close(FHandle);
}

void TRecordingFileWriter::Append(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(FHandle, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw FileError("cannot write", FPath);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TRecordingFileWriter::Close(std::uint32_t durationMs) {
    std::uint8_t field[4];
    for (int i = 0; i < 4; ++i)
        field[i] = static_cast<std::uint8_t>(durationMs >> (8 * i));
    if (pwrite(FHandle, field, sizeof field, RecordingDurationOffset) != sizeof field)
        throw FileError("cannot write", FPath);
    const int handle = FHandle;
    FHandle = -1;
    if (close(handle) != 0)
        throw FileError("cannot close", FPath);
}
