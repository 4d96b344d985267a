#pragma once

#include <string>
#include <string_view>

// Where the build tree keeps the programs and generated fixtures that tests
// and benchmarks start or read. Only BuildTree.cpp is told the tree's own
// path: every other file then compiles alike in any clone, so a second
// clone's build comes from the compiler cache.

// RELATIVE inside the build tree, e.g. "tools/nelq-server/nelq-server".
std::string BuildTreePath(std::string_view relative);

std::string ClientProgram();
std::string ServerProgram();
std::string StandinProgram();
std::string RecProgram();
// The Windows executables with and without a version resource.
std::string PeFixtureDirectory();
