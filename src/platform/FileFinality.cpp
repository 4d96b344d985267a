#include "platform/FileFinality.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : Fd(fd) {}
    ~FileDescriptor() {
        if (Fd >= 0)
            close(Fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Fd;
};

bool IsNumber(const char* name) {
    if (*name == '\0')
        return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9')
            return false;
    return true;
}

// The access mode of an open descriptor, from the "flags:" line (octal) of
// /proc/PID/fdinfo/FD; -1 when it cannot be read.
int AccessMode(const std::string& fdinfoPath) {
    std::ifstream info(fdinfoPath);
    std::string key;
    while (info >> key) {
        if (key == "flags:") {
            std::string octal;
            info >> octal;
            return static_cast<int>(std::strtol(octal.c_str(), nullptr, 8)) & O_ACCMODE;
        }
        info.ignore(4096, '\n');
    }
    return -1;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool OpenForWritingByProcess(const std::string& processDir, const struct stat& file) {
    DirHandle fds(opendir((processDir + "/fd").c_str()));
    if (!fds)
        return false; // gone, or not ours to inspect
    while (const dirent* entry = readdir(fds.get())) {
        if (!IsNumber(entry->d_name))
            continue;
        struct stat target;
        if (stat((processDir + "/fd/" + entry->d_name).c_str(), &target) != 0 ||
            !SameFile(target, file))
            continue;
        const int mode = AccessMode(processDir + "/fdinfo/" + entry->d_name);
        // A descriptor that closed meanwhile (-1) no longer writes.
        if (mode == O_WRONLY || mode == O_RDWR)
            return true;
    }
    return false;
}

bool OpenForWritingAnywhere(const struct stat& file) {
    DirHandle proc(opendir("/proc"));
    if (!proc)
        return true; // cannot tell: not final
    while (const dirent* entry = readdir(proc.get()))
        if (IsNumber(entry->d_name) &&
            OpenForWritingByProcess(std::string("/proc/") + entry->d_name, file))
            return true;
    return false;
}

bool LockedByAnyone(const std::string& path) {
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Fd < 0)
        return true;
    if (flock(fd.Fd, LOCK_EX | LOCK_NB) != 0)
        return true;
    flock(fd.Fd, LOCK_UN);
    return false;
}

} // namespace

bool IsFinal(const std::string& path) {
    struct stat file;
    if (stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return false;
    return !OpenForWritingAnywhere(file) && !LockedByAnyone(path);
}
