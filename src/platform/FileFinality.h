#pragma once

#include <string>

// Whether a file is final, that is, no longer being written: it exists, is a
// regular file, no process (this one included, Wine programs included) holds
// it open for writing, and no one holds a lock on it. Any error counts as not
// final. Processes whose descriptors we may not inspect are not seen.
bool IsFinal(const std::string& path);
