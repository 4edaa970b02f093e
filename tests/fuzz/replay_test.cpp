// Every seed and every regression input of the fuzz targets, through the same checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "tests/fuzz/check_support.h"
#include "tests/fuzz/checks.h"

namespace fs = std::filesystem;

namespace {

using TCheck = std::string (*)(const uint8_t*, size_t);

struct TTarget {
    const char* name;  // the folder under corpus/ and regressions/
    TCheck check;
};

const TTarget TARGETS[] = {
    {"decode", CheckDecoder},
    {"prepare", CheckPreparation},
    {"pack", CheckPackReader},
    {"roundtrip", CheckRoundTrip},
};

// Names the target in test names and messages.
void PrintTo(const TTarget& target, std::ostream* out) { *out << target.name; }

class ReplayTest : public testing::TestWithParam<TTarget> {};

// Runs check on every file under folder; velto-pack's reports go to /dev/null.
void ReplayFolder(const TTarget& target, const fs::path& folder, size_t* inputs) {
    if (!fs::is_directory(folder)) return;
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
        if (!item.is_regular_file() || item.path().filename().string()[0] == '.') continue;
        const std::string bytes = FileBytes(item.path().string());
        std::fflush(stdout);
        std::fflush(stderr);
        const int savedOut = dup(1), savedErr = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        const std::string failure =
            target.check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut, 1);
        dup2(savedErr, 2);
        close(null);
        close(savedOut);
        close(savedErr);
        EXPECT_EQ(failure, "") << item.path();
        ++*inputs;
    }
}

TEST_P(ReplayTest, SeedsAndRegressionInputsKeepEveryProperty) {
    const fs::path root = VELTO_FUZZ_DIR;
    size_t inputs = 0;
    ReplayFolder(GetParam(), root / "corpus" / GetParam().name, &inputs);
    ReplayFolder(GetParam(), root / "corpus-long" / GetParam().name, &inputs);
    ReplayFolder(GetParam(), root / "regressions" / GetParam().name, &inputs);
    EXPECT_GT(inputs, 0u) << "no seeds for " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Targets, ReplayTest, testing::ValuesIn(TARGETS),
                         [](const testing::TestParamInfo<TTarget>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
