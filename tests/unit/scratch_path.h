// Scratch file names unique to the running test, so that tests run side by side never share a file.
#pragma once

#include <gtest/gtest.h>

#include <string>

inline std::string ScratchPath(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return testing::TempDir() + test->test_suite_name() + "." + test->name() + "." + suffix;
}
