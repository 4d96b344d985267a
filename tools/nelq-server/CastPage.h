#pragma once

#include "CastListing.h"

#include <string>
#include <vector>

// The link a viewer's client opens for a cast: "nelq://HOST/GAME/", the game
// percent-encoded as in any URL (the client decodes it).
std::string WatchLink(const std::string& host, const std::string& game);
// Where the web listener serves a finished cast's archive.
std::string DownloadPath(const std::string& game);

// The web page of the casts: one table, no script needed; it reloads itself
// every 10 s while a cast is live.
std::string CastPageHtml(const std::vector<TCastSummary>& casts, const std::string& watchHost);
// The same list as a JSON array.
std::string CastListJson(const std::vector<TCastSummary>& casts, const std::string& watchHost);
