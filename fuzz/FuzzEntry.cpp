#include "FuzzTargets.h"

// Each fuzzer is this file built with NELQ_FUZZ_ENTRY naming its target.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NELQ_FUZZ_ENTRY(data, size);
    return 0;
}
