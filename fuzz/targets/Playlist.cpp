#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "mixer/PlaylistFile.h"

// "playlist.txt" as a user or another program left it: what loads must save
// and load again unchanged.
void FuzzPlaylist(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string file = scratch / "playlist.txt";
    WriteFile(file, AsText(data, size));
    const std::vector<std::string> paths = LoadPlaylist(file);
    FuzzCheck(SavePlaylist(file, paths), "the playlist could not be saved");
    FuzzCheck(LoadPlaylist(file) == paths, "the saved playlist reads back differently");
    CheckWrittenOnlyInside(scratch.Path(), {"playlist.txt"});
}
