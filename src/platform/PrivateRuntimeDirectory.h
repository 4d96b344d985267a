#pragma once

#include <string>

// A directory only this user may enter, for the client's local sockets:
// "nelq-client" under $XDG_RUNTIME_DIR, or "nelq-client-UID" under the
// temporary directory when that is unset. It is made with mode 0700 and kept
// at it; one that is a symbolic link or belongs to someone else is refused
// (an empty result), as another user could reach what is put there.
std::string PrivateRuntimeDirectory();
