#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "platform/PeVersionReader.h"

// The game's executable, of whatever build or damage, as the install check
// reads its version; a bad file reads as no version.
void FuzzPeVersion(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string path = scratch / "Tribes2.exe";
    WriteFile(path, AsText(data, size));
    for (const char* key : {"FileVersion", "FileDescription"}) {
        const std::string value = ReadPeVersionString(path, key);
        FuzzCheck(value.size() <= size, "version string longer than the file");
    }
}
