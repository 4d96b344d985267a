#pragma once

#include "Cast.h"
#include "PartTags.h"
#include "ServerOptions.h"

#include <microhttpd.h>

#include <memory>

// Answers for "/casts/NAME/N/demo" and ".../audio": the stored part's bytes,
// as much of them as has arrived while the part grows. An ended part never
// changes: a year in any cache, a strong ETag, 304 for a tag the peer holds.
// A growing one is never stored by a cache, and a follower asks for what is
// new with "Range: bytes=K-". The bytes are read from the file as the peer
// takes them.
MHD_Result AnswerPart(MHD_Connection* connection, const std::shared_ptr<TCast>& cast,
                      std::int32_t section, int part, const TPartState& state, TPartTags& tags,
                      const TServerLog& log);
