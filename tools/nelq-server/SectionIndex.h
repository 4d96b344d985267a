#pragma once

#include "Cast.h"

#include <string>

// "/casts/NAME/index.json": the cast's state and, per section, both parts
// as the store keeps them (the announce, the bytes here so far, whether the
// part has ended), enough for another server to hold the same cast.
std::string SectionIndexJson(const std::string& name, const TCastState& state);
