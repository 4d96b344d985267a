#include "PartMap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

TPartMap::TPartMap(const std::filesystem::path& path, std::int32_t size)
    : Size(static_cast<std::size_t>(size)) {
    File = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (File < 0)
        return;
    if (Size == 0) {
        Opened = true;
    } else {
        // The part grows into the mapping as the filmer writes it.
        Address = ::mmap(nullptr, Size, PROT_READ, MAP_SHARED, File, 0);
        Opened = Address != MAP_FAILED;
        if (!Opened)
            Address = nullptr;
    }
}

TPartMap::~TPartMap() {
    if (Address)
        ::munmap(Address, Size);
    if (File >= 0)
        ::close(File);
}

bool TPartMap::Reaches(std::int32_t end) const {
    struct stat status {};
    return ::fstat(File, &status) == 0 && status.st_size >= end;
}
