#pragma once

#include <ctime>
#include <string>

// `time` in UTC as the strftime `format` lays it out; safe from any thread.
std::string UtcText(std::time_t time, const char* format);
