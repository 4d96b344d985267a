#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// TAB-separated fields of a protocol line.

// The field at `index` (from 0); a field that is not there reads as empty.
std::string LineField(std::string_view line, std::size_t index);

// Every field of the line; an empty line has one empty field.
std::vector<std::string> LineFields(std::string_view line);

// The fields joined by TAB, ready for WriteLine.
std::string JoinFields(const std::vector<std::string>& fields);

// A whole field as a decimal signed 32-bit number; false for anything else.
bool ParseInt32(std::string_view text, std::int32_t& value);
