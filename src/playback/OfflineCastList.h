#pragma once

#include <string>
#include <vector>

// The casts that can be played without a server: the cast directories under
// the streams directory, then its ".zip" archives, then its ".qmx" archives,
// each group in name order. Hidden entries and "ACTIVE" (the extraction
// directory) are left out.
std::vector<std::string> ListOfflineCasts(const std::string& streamsDirectory);
