#pragma once

#include <cstddef>
#include <string>

// `size` bytes of noise, the same for the same seed: content for section parts
// whose bytes only need to arrive unchanged.
std::string RandomBytes(std::size_t size, unsigned seed);
