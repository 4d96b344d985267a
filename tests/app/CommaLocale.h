#pragma once

#include "ScratchDir.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

// Builds a German (decimal comma) C locale in the scratch directory and
// switches to it; false when the locale tools are missing.
inline bool UseGermanCLocale(const ScratchDir& dir) {
    std::filesystem::create_directories(dir / "locale");
    const std::string build =
        "localedef -i de_DE -f UTF-8 '" + (dir / "locale/de_DE.UTF-8") + "' 2>/dev/null";
    if (std::system(build.c_str()) != 0)
        return false;
    setenv("LOCPATH", (dir / "locale").c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

// Back to the C locale at the end of a test.
inline void LeaveGermanCLocale() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}
