#pragma once

#include <string>
#include <vector>

// The game's preference file in the client's mod directory: the viewer's
// display and volume choices from the "View Options" page, put into a copy of
// the player's own preferences.

// The video modes the game accepts, in the form its preference expects
// (width, height, colour depth); the first is the fallback.
const std::vector<std::string>& VideoModes();

struct TribesDisplayPrefs {
    bool Windowed = false;
    std::string VideoMode = VideoModes().front();
    int Volume = 10; // 0 to 10, tenths of the game's master volume
};

// The text after the line's first double quote up to the next one (or the end
// of the line); empty when the line has none.
std::string QuotedValue(const std::string& line);

// Writes gameDirectory + "NELQ/prefs/ClientPrefs.cs": the mod's preferences,
// else the player's ("base/prefs/ClientPrefs.cs"), else nothing, without their
// full-screen, resolution, master volume and music lines, followed by those
// four lines for `prefs`. Throws std::runtime_error when it cannot be written.
void WriteClientPrefs(const std::string& gameDirectory, const TribesDisplayPrefs& prefs);

// Takes the choices found in the mod's preferences, else the player's, into
// `prefs` (a later line wins); false, with `prefs` untouched, when neither
// file exists.
bool ReadClientPrefs(const std::string& gameDirectory, TribesDisplayPrefs& prefs);
