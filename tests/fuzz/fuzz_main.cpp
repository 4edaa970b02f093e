// The libFuzzer entry point of one check; VELTO_FUZZ_CHECK names it (CheckDecoder, ...).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/checks.h"

namespace {
int reportFd = 2;  // stderr as it was at start, also when libFuzzer closes it (-close_fd_mask)
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const int saved = dup(2);
    if (saved >= 0) reportFd = saved;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string failure = VELTO_FUZZ_CHECK(data, size);
    if (!failure.empty()) {
        const std::string line = std::string(VELTO_FUZZ_NAME) + ": " + failure + "\n";
        const ssize_t written = write(reportFd, line.data(), line.size());
        (void)written;  // abort either way
        std::abort();
    }
    return 0;
}
