#pragma once

#include "Cast.h"

#include <string>

// "/casts/NAME/index.json": the cast's state and, per section, both parts
// as the store keeps them (the announce, the bytes here so far, whether the
// part has ended), enough for another server to hold the same cast; and the
// cast's generation, which its part URLs may carry as "?g=".
std::string SectionIndexJson(const std::string& name, const std::string& generation,
                             const TCastState& state);
