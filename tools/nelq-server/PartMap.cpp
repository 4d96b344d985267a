#include "PartMap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

TPartMap::TPartMap(const std::filesystem::path& path, std::int32_t size)
    : Size(static_cast<std::size_t>(size)) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return;
    if (Size == 0) {
        Opened = true;
    } else {
        // The part grows into the mapping as the filmer writes it.
        Address = ::mmap(nullptr, Size, PROT_READ, MAP_SHARED, file, 0);
        Opened = Address != MAP_FAILED;
        if (!Opened)
            Address = nullptr;
    }
    ::close(file);
}

TPartMap::~TPartMap() {
    if (Address)
        ::munmap(Address, Size);
}
