#pragma once

#include "playback/ZipArchive.h"

#include <string>

// Writes a stored cast as an archive that any zip reader, and this client's
// offline viewing, opens: "completed.dat" and the "demo_%d.rec" and
// "audio_%d.ogg" of every section it lists, flat. The archive is written
// under a temporary name beside `archivePath` and renamed over it only when
// complete, so a failure leaves an earlier file of that name as it was.
// Raises EArchiveError, or EOfflineError when the cast lists no sections.
void ExportCastArchive(const std::string& castDirectory, const std::string& archivePath);
