#pragma once

#include "CastArchive.h"
#include "ServerOptions.h"

#include <microhttpd.h>

#include <memory>

// The bytes of `layout` (pieces of the cast's stored parts), read as the
// peer takes them. A cast deleted meanwhile cuts them with an error.
MHD_Response* StreamedCastResponse(std::shared_ptr<TCast> cast,
                                   std::shared_ptr<const TCastArchive> layout, TServerLog log);

// The response that streams a finished cast's archive: its size, name,
// ETag and time in the headers, the bytes read from the stored parts as the
// peer takes them. A download of a cast deleted meanwhile ends with an error.
MHD_Response* CastDownloadResponse(std::shared_ptr<TCast> cast,
                                   std::shared_ptr<const TCastArchive> archive, TServerLog log);

// A file name for the download that no browser or file system takes amiss.
std::string DownloadFileName(const std::string& game);
