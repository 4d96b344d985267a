#pragma once

#include "Cast.h"

#include <string>
#include <vector>

// What an origin says of its casts, read from its "/casts.json" and each
// cast's "index.json". Everything is checked as hostile input: a document
// that is not what a casting server writes throws std::runtime_error.

struct TOriginCast {
    std::string Name; // a name any game may have
    std::string Generation;
    bool Finished = false;
};

struct TOriginIndex {
    std::string Generation;
    bool Finished = false;
    // Per part, Received is the bytes the origin has ("available").
    std::vector<TSectionState> Sections;
};

std::vector<TOriginCast> ParseOriginCasts(const std::string& json);
TOriginIndex ParseOriginIndex(const std::string& json);
