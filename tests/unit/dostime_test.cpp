// Packed DOS date and time: packing, clamping and unpacking.
#include "codec/dostime.h"

#include <gtest/gtest.h>

namespace {

struct PackCase {
    const char* what;
    TCalendarTime calendar;
    uint16_t date;
    uint16_t time;
    bool clamped;
    TCalendarTime unpacked;  // what the packed value stands for
};

const PackCase PACK_CASES[] = {
    // the worked example: day 24, month 12, year 15; 30 s as 15, 30 min, 12 h
    {"1995-12-24 12:30:30",
     {1995, 12, 24, 12, 30, 30},
     0x1F98,
     0x63CF,
     false,
     {1995, 12, 24, 12, 30, 30}},
    // odd seconds round down to the two-second step
    {"odd second",
     {2001, 7, 15, 10, 20, 31},
     (21 << 9) | (7 << 5) | 15,
     (10 << 11) | (20 << 5) | 15,
     false,
     {2001, 7, 15, 10, 20, 30}},
    // the first representable moment
    {"1980-01-01", {1980, 1, 1, 0, 0, 0}, 0x0021, 0x0000, false, {1980, 1, 1, 0, 0, 0}},
    // the last representable moment
    {"2107-12-31 23:59:58",
     {2107, 12, 31, 23, 59, 59},
     0xFF9F,
     0xBF7D,
     false,
     {2107, 12, 31, 23, 59, 58}},
    // before 1980: clamped to the first moment
    {"1979-12-31", {1979, 12, 31, 23, 59, 59}, 0x0021, 0x0000, true, {1980, 1, 1, 0, 0, 0}},
    // after 2107: clamped to the last moment
    {"2108-01-01", {2108, 1, 1, 0, 0, 0}, 0xFF9F, 0xBF7D, true, {2107, 12, 31, 23, 59, 58}},
};

TEST(DosTimeTest, PacksClampsAndUnpacks) {
    for (const auto& c : PACK_CASES) {
        SCOPED_TRACE(c.what);
        bool clamped = !c.clamped;
        const TDosTime dos = PackDosTime(c.calendar, &clamped);
        EXPECT_EQ(dos.date, c.date);
        EXPECT_EQ(dos.time, c.time);
        EXPECT_EQ(clamped, c.clamped);
        const TCalendarTime back = UnpackDosTime(dos);
        EXPECT_EQ(back.year, c.unpacked.year);
        EXPECT_EQ(back.month, c.unpacked.month);
        EXPECT_EQ(back.day, c.unpacked.day);
        EXPECT_EQ(back.hour, c.unpacked.hour);
        EXPECT_EQ(back.minute, c.unpacked.minute);
        EXPECT_EQ(back.second, c.unpacked.second);
    }
}

TEST(DosTimeTest, PackingWithoutAClampFlagIsAllowed) {
    EXPECT_EQ(PackDosTime(TCalendarTime{1970, 1, 1, 0, 0, 0}, nullptr).date, 0x0021);
}

// Fields a decoder may meet after masking, which name no real time.
TEST(DosTimeTest, UnpackKeepsFieldsAsStored) {
    const TCalendarTime t = UnpackDosTime(TDosTime{0x0000, 0xFFFF});  // day 0, month 0, 31:63:62
    EXPECT_EQ(t.year, 1980);
    EXPECT_EQ(t.month, 0);
    EXPECT_EQ(t.day, 0);
    EXPECT_EQ(t.hour, 31);
    EXPECT_EQ(t.minute, 63);
    EXPECT_EQ(t.second, 62);
    EXPECT_FALSE(IsValidCalendarTime(t));
}

}  // namespace
