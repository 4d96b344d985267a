#include "PartFile.h"

#include <fcntl.h>
#include <unistd.h>

TPartFile::TPartFile(const std::filesystem::path& path)
    : Handle(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

TPartFile::~TPartFile() {
    if (Handle >= 0)
        ::close(Handle);
}
