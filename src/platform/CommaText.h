#pragma once

#include <string>
#include <vector>

// Comma text as the client's lists read it: items are separated by commas or
// by any run of characters up to and including the space; an item in double
// quotes may hold both, with two double quotes standing for one. A comma at
// the very end adds one empty item.
std::vector<std::string> SplitCommaText(const std::string& text);
