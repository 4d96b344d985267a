#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A cast's generation: a random id made with its directory and kept in it
// ("generation"). Section URLs carry it, so that a cast deleted and filmed
// again under its name never gets the old one's bytes from a cache that
// keeps immutable parts for good.

std::string NewCastGeneration();
// 1 to 32 lower-case hexadecimal digits: safe in a URL and in a file.
bool IsCastGeneration(std::string_view text);
// The directory's generation; one made before generations gets a new one.
std::string LoadCastGeneration(const std::filesystem::path& directory);
void SaveCastGeneration(const std::filesystem::path& directory, const std::string& generation);
