#pragma once

// The project's version, as CMake knows it (e.g. "1.0.0.47").
extern const char* const ServerVersion;
