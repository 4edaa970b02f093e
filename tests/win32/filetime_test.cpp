// File times on Windows: local calendar time with each date's own daylight-saving rule.
//
// The test's environment must give Windows (or Wine) a time zone with daylight
// saving; ctest sets TZ to Central European time for Wine, which Wine maps to
// the matching Windows zone.
#include "platform/filetime.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "codec/lzss.h"

namespace {

constexpr int64_t JULY_1_2021_10H_UTC = 1625133600;      // 2021-07-01 10:00:00 UTC
constexpr int64_t JANUARY_15_2021_10H_UTC = 1610704800;  // 2021-01-15 10:00:00 UTC

bool SameTime(const TCalendarTime& a, const TCalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

// Minutes east of UTC of a local time produced by UtcToLocal.
int OffsetMinutes(int64_t utc) {
    TCalendarTime local{};
    EXPECT_TRUE(UtcToLocal(utc, &local));
    const int localMinutes = local.day * 1440 + local.hour * 60 + local.minute;
    const int utcMinutes = static_cast<int>((utc / 60) % 1440);
    // Both test dates are 10:00 UTC on the same day as local time in Europe.
    return localMinutes - (local.day * 1440 + utcMinutes);
}

class FileTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("velto-filetime-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string NewPath() { return (dir_ / ("f" + std::to_string(++count_))).string(); }

private:
    std::filesystem::path dir_;
    int count_ = 0;
};

TEST_F(FileTimeTest, TheTimeZoneHasDaylightSaving) {
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    EXPECT_NE(kind, TIME_ZONE_ID_UNKNOWN)
        << "no daylight rule: set TZ for Wine (see tests/CMakeLists.txt)";
    EXPECT_NE(zone.DaylightDate.wMonth, 0);
    EXPECT_NE(OffsetMinutes(JULY_1_2021_10H_UTC), OffsetMinutes(JANUARY_15_2021_10H_UTC));
}

// Whatever today's offset is, each date gets the offset of its own season.
TEST_F(FileTimeTest, ConvertsWithTheDaylightRuleOfTheDate) {
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    EXPECT_EQ(OffsetMinutes(JULY_1_2021_10H_UTC), -(zone.Bias + zone.DaylightBias));
    EXPECT_EQ(OffsetMinutes(JANUARY_15_2021_10H_UTC), -(zone.Bias + zone.StandardBias));
    for (int64_t utc : {JULY_1_2021_10H_UTC, JANUARY_15_2021_10H_UTC}) {
        TCalendarTime local{};
        ASSERT_TRUE(UtcToLocal(utc, &local));
        int64_t back = 0;
        ASSERT_TRUE(LocalToUtc(local, &back));
        EXPECT_EQ(back, utc);
    }
}

TEST_F(FileTimeTest, RefusesFieldsThatNameNoTime) {
    int64_t utc = 0;
    EXPECT_FALSE(LocalToUtc(TCalendarTime{2021, 2, 29, 12, 0, 0}, &utc));  // no leap day
    EXPECT_FALSE(LocalToUtc(TCalendarTime{2021, 0, 1, 12, 0, 0}, &utc));   // month 0
    EXPECT_FALSE(LocalToUtc(TCalendarTime{2021, 6, 1, 24, 0, 0}, &utc));   // hour 24
    EXPECT_TRUE(LocalToUtc(TCalendarTime{2020, 2, 29, 12, 0, 0}, &utc));   // a leap day
}

TEST_F(FileTimeTest, SetAndGetTheTimeOfAnOpenFile) {
    FILE* f = std::fopen(NewPath().c_str(), "wb+");
    ASSERT_NE(f, nullptr);
    std::fputs("unflushed bytes", f);  // setting the time flushes them first
    ASSERT_TRUE(SetStreamModTime(f, JULY_1_2021_10H_UTC));
    int64_t seconds = 0;
    ASSERT_TRUE(GetStreamModTime(f, &seconds));
    EXPECT_EQ(seconds, JULY_1_2021_10H_UTC);
    std::fclose(f);
}

TEST_F(FileTimeTest, SummerAndWinterFilesKeepTheirCalendarTimeThroughTheCodec) {
    const TCalendarTime times[] = {{2021, 7, 1, 12, 0, 0}, {2021, 1, 15, 11, 0, 0}};
    for (const TCalendarTime& when : times) {
        SCOPED_TRACE(when.month);
        FILE* source = std::fopen(NewPath().c_str(), "wb+");
        std::fputs("payload", source);
        int64_t seconds = 0;
        ASSERT_TRUE(LocalToUtc(when, &seconds));
        ASSERT_TRUE(SetStreamModTime(source, seconds));
        std::rewind(source);

        FILE* archive = std::fopen(NewPath().c_str(), "wb+");
        TLZSS codec(0);
        ASSERT_EQ(codec.Encode(source, archive), 1);
        std::rewind(archive);
        const std::string target = NewPath();
        ASSERT_EQ(codec.OpenOutput(target.c_str(), -1), 1);
        ASSERT_EQ(codec.Decode(archive, codec.outputFile), 1);
        std::fclose(codec.outputFile);  // closing must keep the time just set
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
