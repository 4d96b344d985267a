#pragma once

#include <string>

// The one build of the game the client works with, and the private copy of its
// executable that plays casts.

inline constexpr const char* RequiredGameVersion = "0, 25034, 0, 0";
inline constexpr const char* RequiredGameBuild = "25034";
inline constexpr const char* GameExecutableName = "Tribes2.exe";
inline constexpr const char* PlaybackExecutableName = "Tribes2DemoPlayback.exe";

// The single byte that makes the playback copy. It sits in the PE optional
// header's CheckSum field (offset 64 from the "PE\0\0" signature): Windows
// checks that field only for drivers and boot-time images, so the copy still
// loads, and its version resource stays byte for byte the same.
struct PlaybackPatch {
    static constexpr unsigned ChecksumFieldFromSignature = 4 + 20 + 64;
    static constexpr unsigned char Value = 0x4E; // 'N'
};

// The "FileVersion" string of the file's version resource; empty when the
// file is missing or has none.
std::string GetFileVersionString(const std::string& path);

// True when the file exists and carries exactly the required version string.
bool IsValidGameExecutable(const std::string& path);

// True when `fileName` names the playback copy (letter case ignored).
bool IsPlaybackExecutableName(const std::string& fileName);

// Makes gameDirectory + "Tribes2DemoPlayback.exe" from `source` unless it exists
// already. The copy is written beside its final name and renamed into place,
// so an interrupted copy never leaves a damaged playback executable behind;
// it gets the permissions of `source`.
// Throws std::runtime_error with the file system's message on failure.
void CreatePlaybackExecutable(const std::string& source, const std::string& gameDirectory);
