#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Passwords given in files, so that they do not show in the process list.
// Every reader throws std::invalid_argument naming the file (and the line)
// at fault.

// USER:PASSWORD as --viewer and the viewers file take it: a user name before
// the first colon, the rest is the password. Neither may hold a TAB, which
// separates them on the wire and so could never be matched.
std::optional<std::pair<std::string, std::string>> ParseViewerAccount(std::string_view text);

// The first line of the file, without its line end; an empty one is refused.
std::string ReadFilmPasswordFile(const std::filesystem::path& path);

// Adds the file's accounts (one USER:PASSWORD a line; blank lines and lines
// starting with '#' are skipped) to `accounts`; a user named twice, in the
// file or already in `accounts`, is refused.
void AddViewersFile(const std::filesystem::path& path,
                    std::map<std::string, std::string>& accounts);
