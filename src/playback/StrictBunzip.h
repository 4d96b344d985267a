#pragma once

#include "demo/UnitStreams.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Decodes one bzip2 stream from received data, which may be cut short,
// corrupt or built to expand without end. The stream starts at the source's
// position and must end within `length` bytes; `limit` caps the plain bytes.
// Every failure raises EAssemblyError naming `what`; `plain` is then left
// with an undefined part of the data and must be thrown away.
void BunzipStrict(TStream& source, std::int64_t length, std::size_t limit, TMemoryStream& plain,
                  const std::string& what);
