#pragma once

#include <optional>
#include <string>

// Reading what a Windows program's installer recorded, when that program lives
// in a Wine prefix: the machine hive is the text file "system.reg" there.

// The name of the entry of `directory` that matches `name` without regard to
// letter case, as Windows would find it; `name` itself when none does.
std::string FindNameIgnoringCase(const std::string& directory, const std::string& name);

// The Wine prefix in use: $WINEPREFIX, else ~/.wine.
std::string WinePrefixDirectory();

// A string value of a key of the machine hive (e.g. "Software\\Vendor\\App"),
// compared without regard to case. Keys of 32-bit programs in a 64-bit prefix
// are also looked up under "Software\\Wow6432Node". Empty optional when the key
// is absent; an empty string when the key exists without that value.
std::optional<std::string> ReadMachineRegistryString(const std::string& prefix,
                                                     const std::string& key,
                                                     const std::string& valueName);

// Maps a Windows path ("C:\\Games\\App\\") to the directory it names inside the
// prefix (via "dosdevices", falling back to "drive_c" for drive C). Existing
// directories are matched without regard to letter case, as Windows would,
// and ".." goes no higher than the drive's root. Keeps a trailing separator.
std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath);
