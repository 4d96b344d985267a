#pragma once

#include <string>
#include <vector>

// The two scripts the game runs from the client's mod directory: the playback
// support ("recordings.cs", written unchanged) and the start script
// ("TrainingGui.cs", whose PlayOffline() plays the recording named on line 8).

const std::vector<std::string>& GSStringListRecordings();
const std::vector<std::string>& GSStringListExecDemo();

// The start script's line (counting from 0) that names the recording to play.
inline constexpr std::size_t DemoFileLineIndex = 8;

// That line for the rebuilt recording "nelqdemo<demoNumber>.rec".
std::string DemoFileLine(int demoNumber);

// The file steps of a game launch, in this order: creates
// gameDirectory + "NELQ/scripts/", deletes "NELQ/demoprog.txt" (its appearance
// is the sign that the new game started), writes both scripts for
// `playbackDemoNumber`. Throws std::runtime_error when a step fails.
void PrepareGameLaunch(const std::string& gameDirectory, int playbackDemoNumber);
