// Packed DOS date and time: conversion to and from calendar fields.
#include "codec/dostime.h"

TDosTime PackDosTime(const TCalendarTime& calendar, bool* clamped) {
    TCalendarTime t = calendar;
    bool outside = false;
    if (t.year < 1980) {
        t = TCalendarTime{1980, 1, 1, 0, 0, 0};
        outside = true;
    } else if (t.year > 2107) {
        t = TCalendarTime{2107, 12, 31, 23, 59, 58};
        outside = true;
    }
    if (clamped != nullptr) *clamped = outside;
    TDosTime dos;
    dos.date = static_cast<uint16_t>((t.day & 0x1F) | (t.month & 0x0F) << 5 | (t.year - 1980) << 9);
    dos.time = static_cast<uint16_t>(((t.second / 2) & 0x1F) | (t.minute & 0x3F) << 5 |
                                     (t.hour & 0x1F) << 11);
    return dos;
}

TCalendarTime UnpackDosTime(TDosTime dos) {
    TCalendarTime t;
    t.year = 1980 + (dos.date >> 9);
    t.month = (dos.date >> 5) & 0x0F;
    t.day = dos.date & 0x1F;
    t.hour = dos.time >> 11;
    t.minute = (dos.time >> 5) & 0x3F;
    t.second = (dos.time & 0x1F) * 2;
    return t;
}
