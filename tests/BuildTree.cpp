#include "BuildTree.h"

std::string BuildTreePath(std::string_view relative) {
    return std::string(NELQ_BINARY_DIR "/").append(relative);
}

std::string ClientProgram() { return BuildTreePath("src/app/nelq-client"); }
std::string ServerProgram() { return BuildTreePath("tools/nelq-server/nelq-server"); }
std::string StandinProgram() { return BuildTreePath("tools/t2-standin/t2-standin"); }
std::string RecProgram() { return BuildTreePath("tools/nelq-rec/nelq-rec"); }
std::string PeFixtureDirectory() { return BuildTreePath("fixtures/pe"); }
