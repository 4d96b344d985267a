#pragma once

#include "Session.h"

#include <cstdint>
#include <functional>
#include <string>

struct TViewRequest {
    std::string GameName;
    std::int32_t StartSection = 0;   // where the viewer's run began
    std::int32_t CurrentSection = 0; // the first section to send now
    bool AudioOnly = false;
};

// Sends the sections of a "REQUEST" from its current section on, each as a
// header, the viewer's resume offsets and data blocks, waiting for the filmer
// with keep-alives, until the cast is sent whole (-1) or deleted (-2).
// `active` runs after every message the connection took and after the
// viewer's resume offsets. Returns what happened, for the log.
std::string SendSections(TServerConnection& connection, const TSessionContext& context,
                         const TViewRequest& request, const std::function<void()>& active);
