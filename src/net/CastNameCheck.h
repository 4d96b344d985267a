#pragma once

#include <string>
#include <string_view>

// A game name as a server lists it becomes one directory under the streams
// directory. Returns why `name` cannot be that directory, or empty text when
// it can: it must not be empty, hold a path separator, "..", a control
// character, or begin with a dot (a hidden or relative name).
std::string CastNameProblem(std::string_view name);
