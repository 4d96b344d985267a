#pragma once

#include <string>

// The desktop entry that makes the client the handler of "nelq" links.
inline constexpr const char* LinkHandlerEntry = "nelq-client.desktop";

// Registers `executable` as the handler of "nelq" links and ".qmx" cast
// archives through xdg-mime: a desktop entry in $XDG_DATA_HOME/applications
// (default ~/.local/share/applications), made the default for
// x-scheme-handler/nelq and, unless another program opens them,
// application/x-nelq-cast, whose definition is given to the user's desktop
// when the system has none. Nothing is done when a link handler is registered
// already (even another copy of the client), and nothing is reported when it
// cannot be done (no xdg-mime, no writable directory); the next start tries
// again.
void RegisterLinkProtocol(const std::string& executable);
