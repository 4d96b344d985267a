#pragma once

#include <string>
#include <string_view>

// Why `name` cannot name a cast directory, or empty text when it can. A cast
// name becomes one directory under the data directory and nothing else: no
// separators, no "..", no control characters, no leading dot.
std::string CastNameProblem(std::string_view name);
