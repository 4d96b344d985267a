#pragma once

#include "Session.h"

#include <cstdint>
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
// The connection is touched after every message it took and after the
// viewer's resume offsets. Returns what happened, for the log.
asio::awaitable<std::string> SendSections(TAsyncConnection& connection,
                                          const TSessionContext& context,
                                          const TViewRequest& request);
