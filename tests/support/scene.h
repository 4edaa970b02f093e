// TSceneTest: a fixture holding a model OS with a usual scene and fresh program-wide strings.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "prep/tstring.h"
#include "tests/support/model_system.h"

constexpr unsigned DRIVE_FIXED = 3;
constexpr unsigned DRIVE_CDROM = 5;

// A TString as std::string, for readable comparisons.
inline std::string Text(const TString& text) { return std::string(text.c_str(), text.length()); }

// Drive C: a fixed disk with C:\WINDOWS\TEMP\ as temporary folder and
// C:\WORK\ as current folder; drive D: a CD-ROM holding the program
// D:\SETUP.EXE. folderName is back at "_Velto3d\" and installerPath empty.
class TSceneTest : public testing::Test {
protected:
    TSceneTest();

    // The temporary folder is missing and "c:\temp\" cannot be made: every
    // temporary name ends up a bare last-resort name in the current folder.
    void LeaveOnlyTheLastRoad();

    TModelSystem model;
};
