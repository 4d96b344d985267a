#include "DescriptorLimit.h"

#include "HttpListener.h"

#include <sys/resource.h>

std::uint64_t RaiseDescriptorLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 0;
    if (files.rlim_cur != files.rlim_max) {
        rlimit raised = files;
        raised.rlim_cur = files.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            files = raised;
    }
    return files.rlim_cur;
}

std::uint64_t DescriptorsNeeded(const TServerOptions& options) {
    constexpr std::uint64_t Files = 256;
    return options.MaxConnections + (options.HttpPort ? THttpListener::MaxConnections : 0) + Files;
}
