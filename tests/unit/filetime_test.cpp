// File times on POSIX: local calendar time with each date's own daylight-saving rule.
#include "platform/filetime.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/lzss.h"

namespace {

// Central European time, written as a rule so that no time-zone database is needed:
// UTC+1, and UTC+2 from the last Sunday of March to the last Sunday of October.
const char* const CET_WITH_DST = "CET-1CEST,M3.5.0,M10.5.0/3";

constexpr int64_t JULY_1_2021_10H_UTC = 1625133600;      // 2021-07-01 10:00:00 UTC
constexpr int64_t JANUARY_15_2021_10H_UTC = 1610704800;  // 2021-01-15 10:00:00 UTC

bool SameTime(const TCalendarTime& a, const TCalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

// Runs each test in a zone with daylight saving and puts the old TZ back.
class FileTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        hadTz_ = old != nullptr;
        if (hadTz_) oldTz_ = old;
        setenv("TZ", CET_WITH_DST, 1);
        tzset();
        char pattern[] = "/tmp/velto-filetime-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& path : made_) std::remove(path.c_str());
        rmdir(dir_.c_str());
        if (hadTz_) {
            setenv("TZ", oldTz_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    // A new file, open "wb+".
    FILE* NewFile(std::string* path = nullptr) {
        made_.push_back(dir_ + "/f" + std::to_string(made_.size()));
        if (path != nullptr) *path = made_.back();
        return std::fopen(made_.back().c_str(), "wb+");
    }

private:
    bool hadTz_ = false;
    std::string oldTz_;
    std::string dir_;
    std::vector<std::string> made_;
};

struct ZoneCase {
    const char* what;
    int64_t utc;
    TCalendarTime local;
};

const ZoneCase ZONE_CASES[] = {
    // summer: UTC+2, whatever the date of the test run
    {"July", JULY_1_2021_10H_UTC, {2021, 7, 1, 12, 0, 0}},
    // winter: UTC+1
    {"January", JANUARY_15_2021_10H_UTC, {2021, 1, 15, 11, 0, 0}},
    // summer of the worked example's century
    {"August 1995", 807271200, {1995, 8, 1, 12, 0, 0}},
};

TEST_F(FileTimeTest, ConvertsWithTheDaylightRuleOfTheDate) {
    for (const auto& c : ZONE_CASES) {
        SCOPED_TRACE(c.what);
        TCalendarTime local{};
        ASSERT_TRUE(UtcToLocal(c.utc, &local));
        EXPECT_TRUE(SameTime(local, c.local));
        int64_t utc = 0;
        ASSERT_TRUE(LocalToUtc(c.local, &utc));
        EXPECT_EQ(utc, c.utc);
    }
}

TEST_F(FileTimeTest, RefusesFieldsThatNameNoTime) {
    const TCalendarTime invalid[] = {
        {2021, 2, 29, 12, 0, 0},  // no leap day in 2021
        {2021, 13, 1, 12, 0, 0},  // month 13
        {2021, 0, 1, 12, 0, 0},   // month 0 (a masked field may hold it)
        {2021, 6, 0, 12, 0, 0},   // day 0
        {2021, 4, 31, 12, 0, 0},  // April has 30 days
        {2021, 6, 1, 24, 0, 0},   // hour 24
        {2021, 6, 1, 12, 60, 0},  // minute 60
        {2021, 6, 1, 12, 0, 62},  // second 62 (seconds field 31)
    };
    for (const auto& t : invalid) {
        int64_t utc = 0;
        EXPECT_FALSE(LocalToUtc(t, &utc)) << t.year << "-" << t.month << "-" << t.day << " "
                                          << t.hour << ":" << t.minute << ":" << t.second;
    }
    int64_t utc = 0;
    EXPECT_TRUE(LocalToUtc(TCalendarTime{2020, 2, 29, 12, 0, 0}, &utc));  // a leap day
}

TEST_F(FileTimeTest, SetAndGetTheTimeOfAnOpenFile) {
    FILE* f = NewFile();
    std::fputs("unflushed bytes", f);  // setting the time flushes them first
    ASSERT_TRUE(SetStreamModTime(f, JULY_1_2021_10H_UTC));
    int64_t seconds = 0;
    ASSERT_TRUE(GetStreamModTime(f, &seconds));
    EXPECT_EQ(seconds, JULY_1_2021_10H_UTC);
    std::fclose(f);
}

TEST_F(FileTimeTest, AStreamWithoutAFileHasNoTime) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* pipeEnd = fdopen(fds[0], "rb");
    int64_t seconds = 0;
    EXPECT_FALSE(GetStreamModTime(pipeEnd, &seconds));
    EXPECT_FALSE(GetStreamModTime(nullptr, &seconds));
    std::fclose(pipeEnd);
    close(fds[1]);
}

// A summer file and a winter file, packed and unpacked in the same run,
// both come back with the calendar time they had.
TEST_F(FileTimeTest, SummerAndWinterFilesKeepTheirCalendarTimeThroughTheCodec) {
    const TCalendarTime times[] = {{2021, 7, 1, 12, 0, 0}, {2021, 1, 15, 11, 0, 0}};
    for (const TCalendarTime& when : times) {
        SCOPED_TRACE(when.month);
        FILE* source = NewFile();
        std::fputs("payload", source);
        int64_t seconds = 0;
        ASSERT_TRUE(LocalToUtc(when, &seconds));
        ASSERT_TRUE(SetStreamModTime(source, seconds));
        std::rewind(source);

        FILE* archive = NewFile();
        TLZSS codec(0);
        ASSERT_EQ(codec.Encode(source, archive), 1);
        std::rewind(archive);
        std::string target;
        std::fclose(NewFile(&target));
        ASSERT_EQ(codec.OpenOutput(target.c_str(), -1), 1);
        ASSERT_EQ(codec.Decode(archive, codec.outputFile), 1);
        std::fclose(codec.outputFile);
        codec.outputFile = nullptr;

        FILE* restored = std::fopen(target.c_str(), "rb");
        TCalendarTime local{};
        ASSERT_TRUE(GetStreamModTime(restored, &seconds));
        ASSERT_TRUE(UtcToLocal(seconds, &local));
        EXPECT_TRUE(SameTime(local, when));
        std::fclose(restored);
        std::fclose(source);
        std::fclose(archive);
    }
}

}  // namespace
