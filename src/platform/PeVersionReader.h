#pragma once

#include <string>

// Reads a string of the version resource ("StringFileInfo") of a Windows
// executable (PE file): "FileVersion", "FileDescription", ... Returns an empty
// string when the file is missing, is not a PE file, is damaged, or has no such
// string: a bad file is never an error.
std::string ReadPeVersionString(const std::string& path, const std::string& key);
