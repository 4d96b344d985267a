#pragma once

#include "CastFixture.h"

#include <cstdint>
#include <string>
#include <vector>

// Stored casts and archives for the offline viewing tests.

// The streams directory that holds the fixture's cast directory.
std::string StreamsDirectoryOf(const TCastFixture& cast);

// Stores sections first to last as one recording (the first whole, the rest
// from their body offset on) and returns their packet streams joined.
std::string StoreRecordingSections(TCastFixture& cast, std::int32_t first, std::int32_t last);

// Writes "completed.dat" with its header and a line per section (tag 1032).
void WriteCompletedList(const std::string& castDirectory,
                        const std::vector<std::int32_t>& sections);

// Runs a Python program (with zipfile, struct and os imported); fails the
// test if it fails.
void RunPython(const std::string& program);

// Every regular file under a directory, relative to it, in name order.
std::vector<std::string> FilesUnder(const std::string& directory);
