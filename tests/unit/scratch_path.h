// Scratch file names unique to the running test, so that tests run side by side never share a file.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Parameterized tests have '/' in their names; it becomes '_' here.
inline std::string ScratchPath(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name() + "." + suffix;
    for (char& c : name)
        if (c == '/') c = '_';
    return testing::TempDir() + name;
}
